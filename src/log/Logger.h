#pragma once
// The relay's diagnostic log: messages at or above DebugLevel become time-stamped
// lines, collected in a preallocated buffer, written at most about once a second
// with delayed writing, and the file is moved to a single "_2." backup when it
// reaches LogSizeMB. Runs on the event thread only; no locks. The clock must
// outlive the logger.
//
// A log that cannot be written never disturbs the relay: LogDebug and
// FlushBuffer do not throw. After a failed write the lines stay pending and go
// out with a later flush; until then lines are held as with delayed writing,
// whatever the settings, so the file is retried at most about once a second.
// Pending lines are capped (PendingCap); the oldest whole lines give way, and
// the next successful write starts with "<n> log lines were dropped.".
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "log/FileUtil.h"
#include "platform/Clock.h"

namespace tavrik {

class Logger {
 public:
  // With LogPath empty the log is executableFolder + "/" + the executable's
  // name without extension + ".log"; executableFolder has no trailing separator.
  Logger(const Clock& clock, std::string executableFolder, std::string_view executableName);
  // Writes the pending lines.
  ~Logger();
  Logger(const Logger&) = delete;
  Logger& operator=(const Logger&) = delete;

  void SetDebugLevel(uint8_t level) { debugLevel_ = level; }
  void SetUseLogDelay(bool flag) { useLogDelay_ = flag; }
  void SetLogPath(std::string path) { logPath_ = std::move(path); }
  // Clamped to 1..1999.
  void SetLogSizeMB(int32_t size);

  uint8_t DebugLevel() const { return debugLevel_; }
  int32_t LogSizeMB() const { return logSizeMB_; }
  // Empty until the first write when no path was set.
  const std::string& LogPath() const { return logPath_; }
  // Bytes of pending lines, and the buffer's capacity (it never shrinks).
  size_t LogBufferLength() const { return logBufferLength_; }
  size_t LogBufferCapacity() const { return logBuffer_.size(); }

  void LogDebug(uint8_t level, std::string_view text) noexcept;
  void FlushBuffer() noexcept;

 private:
  void StoreLine(std::string_view text);
  void DropOldestLines(size_t incoming);
  bool HoldPending() const;
  void WritePending();
  void RotateLog();
  size_t PendingCap() const;
  int64_t SizeLimit() const;

  const Clock& clock_;
  FileUtil fileUtil_;
  uint8_t debugLevel_ = 6;
  bool useLogDelay_ = false;
  std::string logPath_;
  int32_t logSizeMB_ = 10;
  std::string logBuffer_ = std::string(1024, ' ');  // its length is its capacity
  size_t logBufferLength_ = 0;
  std::vector<size_t> lineLengths_;  // of the pending lines, oldest first: text may hold CR LF
  double lastFlushTime_ = 0;
  int64_t logFileSize_ = 0;
  bool writeFailed_ = false;   // the last flush failed
  uint64_t droppedLines_ = 0;  // not yet reported in the file
  std::string defaultLogPath_;
};

}  // namespace tavrik
