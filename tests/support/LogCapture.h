#pragma once
// Installs a process logger that writes every line at once to a temporary
// file, and reads the messages back without their time stamps.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "log/Log.h"
#include "log/Logger.h"
#include "platform/Clock.h"

namespace tavrik::test {

class FixedClock : public Clock {
 public:
  double SecondsSinceMidnight() const override { return seconds; }
  int64_t UnixTimeMs() const override { return 0; }
  int32_t UtcOffsetMinutes() const override { return 0; }
  std::string LocalDateTimeText() const override { return "2026-12-07 12:00:00"; }
  double seconds = 43200;
};

class LogCapture {
 public:
  explicit LogCapture(uint8_t level = 0)
      : folder_(MakeFolder()), logger_(clock_, folder_.string(), "capture") {
    logger_.SetLevel(level);
    logger_.SetDelayedWriting(false);
    logger_.SetPath((folder_ / "capture.log").string());
    SetProcessLogger(&logger_);
  }
  ~LogCapture() {
    SetProcessLogger(nullptr);
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  // The whole log as written, time stamps included.
  std::string Text() const {
    std::ifstream in(folder_ / "capture.log", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // The messages, one per CR LF line, without "YYYY-MM-DD HH:MM:SS - ".
  std::vector<std::string> Messages() const {
    std::vector<std::string> messages;
    const std::string text = Text();
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
      messages.push_back(text.substr(start + kStampLength, end - start - kStampLength));
    return messages;
  }
  bool Contains(const std::string& message) const {
    for (const auto& m : Messages())
      if (m == message) return true;
    return false;
  }
  size_t Count(const std::string& message) const {
    size_t n = 0;
    for (const auto& m : Messages()) n += m == message;
    return n;
  }
  void Clear() { std::filesystem::remove(folder_ / "capture.log"); }

 private:
  static constexpr size_t kStampLength = 22;  // "YYYY-MM-DD HH:MM:SS - "
  static std::filesystem::path MakeFolder() {
    static int counter = 0;
    auto folder = std::filesystem::temp_directory_path() /
                  ("tavrik-log-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
    std::filesystem::create_directories(folder);
    return folder;
  }

  FixedClock clock_;
  std::filesystem::path folder_;
  Logger logger_;
};

}  // namespace tavrik::test
