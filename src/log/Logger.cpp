#include "log/Logger.h"

#include <algorithm>
#include <exception>

#include "log/FileUtil.h"

namespace tavrik {
namespace {

constexpr int64_t kBytesPerMB = 1048576;
constexpr size_t kForcedFlushLength = 102400;
constexpr double kLogDelaySeconds = 1.0;
constexpr int64_t kSizeMargin = 5;  // below the limit, for both rotation checks
// Pending lines are kept up to one log file's worth, and never more than 4 MiB:
// about 40,000 typical lines, enough to bridge an outage of the log's disk,
// while the buffer (growing by three times the need) stays below 16 MiB.
constexpr size_t kMaxPendingBytes = 4 * 1048576;

}  // namespace

Logger::Logger(const Clock& clock, std::string executableFolder, std::string_view executableName)
    : clock_(clock),
      defaultPath_(std::move(executableFolder) + "/" + PathBaseName(executableName) +
                      ".log") {}

Logger::~Logger() {
  Flush();
}

void Logger::SetSizeLimitMB(int32_t size) {
  sizeLimitMB_ = std::clamp(size, 1, 1999);
}

void Logger::Write(uint8_t level, std::string_view text) noexcept {
  if (level < level_) return;
  try {
    StoreLine(text);
  } catch (const std::exception&) {
    ++droppedLines_;  // no memory for the line: reported like a line dropped for space
    return;
  }
  if (!HoldPending()) Flush();
}

void Logger::Flush() noexcept {
  try {
    lastFlushTime_ = clock_.SecondsSinceMidnight();
    if (pendingBytes_ < 1) return;
    WritePending();
    writeFailed_ = false;
  } catch (const std::exception&) {
    writeFailed_ = true;  // the lines stay pending for a later flush
  }
}

void Logger::FlushIfDue() noexcept {
  if (pendingBytes_ > 0 && !HoldPending()) Flush();
}

void Logger::ReleaseSpareMemory() noexcept {
  if (pendingBytes_ > 0 || buffer_.size() <= kFirstBufferSize) return;
  try {
    std::string(kFirstBufferSize, ' ').swap(buffer_);
    std::vector<size_t>().swap(lineLengths_);
  } catch (const std::exception&) {
    // No memory for the small buffer: the large one stays.
  }
}

// Writes "date time - text CR LF" in place behind the pending lines.
void Logger::StoreLine(std::string_view text) {
  static constexpr std::string_view kSeparator = " - ";
  static constexpr std::string_view kLineEnd = "\r\n";
  const std::string stamp = clock_.LocalDateTimeText();
  const size_t lineLength = stamp.size() + kSeparator.size() + text.size() + kLineEnd.size();
  if (pendingBytes_ + lineLength > PendingCap()) DropOldestLines(lineLength);
  const size_t newLength = pendingBytes_ + lineLength;
  if (newLength > buffer_.size()) buffer_.append(3 * newLength, '#');
  lineLengths_.push_back(lineLength);
  char* out = buffer_.data() + pendingBytes_;
  out = std::copy(stamp.begin(), stamp.end(), out);
  out = std::copy(kSeparator.begin(), kSeparator.end(), out);
  out = std::copy(text.begin(), text.end(), out);
  std::copy(kLineEnd.begin(), kLineEnd.end(), out);
  pendingBytes_ = newLength;
}

// Drops the oldest whole lines until the incoming line fits in three quarters of
// the cap: moving the rest down once per quarter of the cap instead of once per
// line keeps a long outage cheap. A line larger than the cap is kept alone.
void Logger::DropOldestLines(size_t incoming) {
  const size_t target = PendingCap() / 4 * 3;
  size_t dropped = 0;
  size_t droppedBytes = 0;
  while (dropped < lineLengths_.size() && pendingBytes_ - droppedBytes + incoming > target) {
    droppedBytes += lineLengths_[dropped++];
  }
  const auto pending = buffer_.begin() + static_cast<std::ptrdiff_t>(pendingBytes_);
  std::copy(buffer_.begin() + static_cast<std::ptrdiff_t>(droppedBytes), pending,
            buffer_.begin());
  lineLengths_.erase(lineLengths_.begin(),
                     lineLengths_.begin() + static_cast<std::ptrdiff_t>(dropped));
  pendingBytes_ -= droppedBytes;
  droppedLines_ += dropped;
}

// Lines wait while less than a second has passed since the last flush, with
// delayed writing (unless 102400 bytes are pending) or after a failed write.
bool Logger::HoldPending() const {
  if (!writeFailed_ && !(delayedWriting_ && pendingBytes_ < kForcedFlushLength)) return false;
  const double elapsed = clock_.SecondsSinceMidnight() - lastFlushTime_;
  return elapsed >= 0 && elapsed < kLogDelaySeconds;  // negative: the clock passed midnight
}

void Logger::WritePending() {
  if (path_.empty()) path_ = defaultPath_;
  const int64_t limit = SizeLimit();
  std::string notice;
  if (droppedLines_ > 0) {
    notice = clock_.LocalDateTimeText() + " - " + std::to_string(droppedLines_) +
             " log lines were dropped.\r\n";
  }
  const std::string_view pending(buffer_.data(), pendingBytes_);
  const auto length = static_cast<int64_t>(notice.size() + pending.size());
  if (length > limit - fileSize_ - kSizeMargin) RotateLog();
  if (notice.empty()) {
    AppendToFile(path_, pending, fileSize_);
  } else {
    AppendToFile(path_, notice.append(pending), fileSize_);
  }
  // Cleared before the check below: the lines are in the file even if moving it aside fails.
  droppedLines_ = 0;
  pendingBytes_ = 0;
  lineLengths_.clear();
  if (fileSize_ >= limit - kSizeMargin) RotateLog();
}

// "Debug.log" moves to "Debug_2.log", replacing an earlier backup. A name
// without extension gets "_2" alone: Windows would drop a trailing dot anyway.
void Logger::RotateLog() {
  const std::string extension = PathExtension(path_);
  std::string backup = PathFolder(path_) + PathBaseName(path_) + "_2";
  if (!extension.empty()) backup += "." + extension;
  MoveRegularFile(path_, backup);
  fileSize_ = 0;
}

size_t Logger::PendingCap() const {
  return std::min(static_cast<size_t>(SizeLimit()), kMaxPendingBytes);
}

int64_t Logger::SizeLimit() const {
  return int64_t{sizeLimitMB_} * kBytesPerMB;
}

}  // namespace tavrik
