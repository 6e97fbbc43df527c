#pragma once
// The relay's diagnostic log: messages at or above the log level become
// time-stamped lines, collected in a preallocated buffer, written at most about
// once a second with delayed writing, and the file is moved to a single "_2."
// backup when it reaches the size limit. Runs on the event thread only; no
// locks. The clock must outlive the logger.
//
// A log that cannot be written never disturbs the relay: Write and Flush do
// not throw. After a failed write the lines stay pending and go out with a
// later flush; until then lines are held as with delayed writing, whatever the
// settings, so the file is retried at most about once a second.
// Pending lines are capped (PendingCap); the oldest whole lines give way, and
// the next successful write starts with "<n> log lines were dropped.".
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Clock.h"

namespace tavrik {

class Logger {
 public:
  // With no path set the log is executableFolder + "/" + the executable's
  // name without extension + ".log"; executableFolder has no trailing separator.
  Logger(const Clock& clock, std::string executableFolder, std::string_view executableName);
  // Writes the pending lines.
  ~Logger();
  Logger(const Logger&) = delete;
  Logger& operator=(const Logger&) = delete;

  void SetLevel(uint8_t level) { level_ = level; }
  void SetDelayedWriting(bool flag) { delayedWriting_ = flag; }
  void SetPath(std::string path) { path_ = std::move(path); }
  // Clamped to 1..1999.
  void SetSizeLimitMB(int32_t size);

  uint8_t Level() const { return level_; }
  int32_t SizeLimitMB() const { return sizeLimitMB_; }
  // Empty until the first write when no path was set.
  const std::string& Path() const { return path_; }
  // Bytes of lines not yet written.
  size_t PendingBytes() const { return pendingBytes_; }

  void Write(uint8_t level, std::string_view text) noexcept;
  void Flush() noexcept;
  // Writes the pending lines unless they are held back (delayed writing, or a
  // failed write, less than a second ago). Called every second, so that the
  // last lines of a quiet relay reach the file without waiting for more.
  void FlushIfDue() noexcept;
  // Returns the buffer to its first size once nothing is pending: a burst of
  // lines may have grown it to megabytes.
  void ReleaseSpareMemory() noexcept;

 private:
  void StoreLine(std::string_view text);
  void DropOldestLines(size_t incoming);
  bool HoldPending() const;
  void WritePending();
  void RotateLog();
  size_t PendingCap() const;
  int64_t SizeLimit() const;

  const Clock& clock_;
  uint8_t level_ = 6;
  bool delayedWriting_ = false;
  std::string path_;
  int32_t sizeLimitMB_ = 10;
  static constexpr size_t kFirstBufferSize = 1024;
  std::string buffer_ = std::string(kFirstBufferSize, ' ');  // its length is its capacity
  size_t pendingBytes_ = 0;
  std::vector<size_t> lineLengths_;  // of the pending lines, oldest first: text may hold CR LF
  double lastFlushTime_ = 0;
  int64_t fileSize_ = 0;
  bool writeFailed_ = false;   // the last flush failed
  uint64_t droppedLines_ = 0;  // not yet reported in the file
  std::string defaultPath_;
};

}  // namespace tavrik
