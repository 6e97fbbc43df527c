#include "log/Logger.h"

#include <algorithm>
#include <exception>

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
      defaultLogPath_(std::move(executableFolder) + "/" + fileUtil_.PathBaseName(executableName) +
                      ".log") {}

Logger::~Logger() {
  FlushBuffer();
}

void Logger::SetLogSizeMB(int32_t size) {
  logSizeMB_ = std::clamp(size, 1, 1999);
}

void Logger::LogDebug(uint8_t level, std::string_view text) noexcept {
  if (level < debugLevel_) return;
  try {
    StoreLine(text);
  } catch (const std::exception&) {
    ++droppedLines_;  // no memory for the line: reported like a line dropped for space
    return;
  }
  if (!HoldPending()) FlushBuffer();
}

void Logger::FlushBuffer() noexcept {
  try {
    lastFlushTime_ = clock_.SecondsSinceMidnight();
    if (logBufferLength_ < 1) return;
    WritePending();
    writeFailed_ = false;
  } catch (const std::exception&) {
    writeFailed_ = true;  // the lines stay pending for a later flush
  }
}

// Writes "date time - text CR LF" in place behind the pending lines.
void Logger::StoreLine(std::string_view text) {
  static constexpr std::string_view kSeparator = " - ";
  static constexpr std::string_view kLineEnd = "\r\n";
  const std::string stamp = clock_.LocalDateTimeText();
  const size_t lineLength = stamp.size() + kSeparator.size() + text.size() + kLineEnd.size();
  if (logBufferLength_ + lineLength > PendingCap()) DropOldestLines(lineLength);
  const size_t newLength = logBufferLength_ + lineLength;
  if (newLength > logBuffer_.size()) logBuffer_.append(3 * newLength, '#');
  lineLengths_.push_back(lineLength);
  char* out = logBuffer_.data() + logBufferLength_;
  out = std::copy(stamp.begin(), stamp.end(), out);
  out = std::copy(kSeparator.begin(), kSeparator.end(), out);
  out = std::copy(text.begin(), text.end(), out);
  std::copy(kLineEnd.begin(), kLineEnd.end(), out);
  logBufferLength_ = newLength;
}

// Drops the oldest whole lines until the incoming line fits in three quarters of
// the cap: moving the rest down once per quarter of the cap instead of once per
// line keeps a long outage cheap. A line larger than the cap is kept alone.
void Logger::DropOldestLines(size_t incoming) {
  const size_t target = PendingCap() / 4 * 3;
  size_t dropped = 0;
  size_t droppedBytes = 0;
  while (dropped < lineLengths_.size() && logBufferLength_ - droppedBytes + incoming > target) {
    droppedBytes += lineLengths_[dropped++];
  }
  const auto pending = logBuffer_.begin() + static_cast<std::ptrdiff_t>(logBufferLength_);
  std::copy(logBuffer_.begin() + static_cast<std::ptrdiff_t>(droppedBytes), pending,
            logBuffer_.begin());
  lineLengths_.erase(lineLengths_.begin(),
                     lineLengths_.begin() + static_cast<std::ptrdiff_t>(dropped));
  logBufferLength_ -= droppedBytes;
  droppedLines_ += dropped;
}

// Lines wait while less than a second has passed since the last flush, with
// delayed writing (unless 102400 bytes are pending) or after a failed write.
bool Logger::HoldPending() const {
  if (!writeFailed_ && !(useLogDelay_ && logBufferLength_ < kForcedFlushLength)) return false;
  const double elapsed = clock_.SecondsSinceMidnight() - lastFlushTime_;
  return elapsed >= 0 && elapsed < kLogDelaySeconds;  // negative: the clock passed midnight
}

void Logger::WritePending() {
  if (logPath_.empty()) logPath_ = defaultLogPath_;
  const int64_t limit = SizeLimit();
  std::string notice;
  if (droppedLines_ > 0) {
    notice = clock_.LocalDateTimeText() + " - " + std::to_string(droppedLines_) +
             " log lines were dropped.\r\n";
  }
  const std::string_view pending(logBuffer_.data(), logBufferLength_);
  const auto length = static_cast<int64_t>(notice.size() + pending.size());
  if (length > limit - logFileSize_ - kSizeMargin) RotateLog();
  if (notice.empty()) {
    fileUtil_.AppendText(logPath_, pending, logFileSize_);
  } else {
    fileUtil_.AppendText(logPath_, notice.append(pending), logFileSize_);
  }
  // Cleared before the check below: the lines are in the file even if moving it aside fails.
  droppedLines_ = 0;
  logBufferLength_ = 0;
  lineLengths_.clear();
  if (logFileSize_ >= limit - kSizeMargin) RotateLog();
}

// "Debug.log" moves to "Debug_2.log", replacing an earlier backup. A name
// without extension gets "_2" alone: Windows would drop a trailing dot anyway.
void Logger::RotateLog() {
  const std::string extension = fileUtil_.PathExtension(logPath_);
  std::string backup = fileUtil_.PathFolder(logPath_) + fileUtil_.PathBaseName(logPath_) + "_2";
  if (!extension.empty()) backup += "." + extension;
  fileUtil_.RenameFile(logPath_, backup);
  logFileSize_ = 0;
}

size_t Logger::PendingCap() const {
  return std::min(static_cast<size_t>(SizeLimit()), kMaxPendingBytes);
}

int64_t Logger::SizeLimit() const {
  return int64_t{logSizeMB_} * kBytesPerMB;
}

}  // namespace tavrik
