// Any command-line text parses without failing, every number lands in its
// accepted range (or is the switch's fallback, which lies in it too), and no
// text value can hold a hyphen or outer blanks, since the line is split at
// every hyphen and each value is trimmed.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "startup/CommandLine.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

void RequireCleanValue(const std::string& value) {
  Require(value.find('-') == std::string::npos);
  Require(value.empty() || (value.front() != ' ' && value.back() != ' '));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  const tavrik::Settings s = tavrik::ParseCommandLine(line);

  Require(s.Port >= 1 && s.Port <= 65535);
  Require(s.ComPort >= 1 && s.ComPort <= 127);
  Require(s.RemotePort == 0 || (s.RemotePort >= 1 && s.RemotePort <= 65535));
  Require(s.FrameTimeout >= 0 && s.FrameTimeout <= 59000);
  Require(s.LogSizeMB >= 1 && s.LogSizeMB <= 1999);
  // DebugLevel (0-255) and SrcProtocol (0-255) are 8-bit unsigned: in range by type.

  RequireCleanValue(s.ComSettings);
  RequireCleanValue(s.RemoteAddress);
  RequireCleanValue(s.SourceFile);
  RequireCleanValue(s.LogFileName);

  // The number reader on its own: a result is the fallback or inside the range.
  const int32_t value = tavrik::ParseRangedInt(line, -5, 70000, 12345);
  Require(value == 12345 || (value >= -5 && value <= 70000));
  return 0;
}
