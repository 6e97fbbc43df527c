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

  Require(s.clientPort >= 1 && s.clientPort <= 65535);
  Require(s.serialPort >= 1 && s.serialPort <= 127);
  Require(s.sourcePort == 0 || (s.sourcePort >= 1 && s.sourcePort <= 65535));
  Require(s.frameTimeoutMs >= 0 && s.frameTimeoutMs <= 59000);
  Require(s.logSizeMB >= 1 && s.logSizeMB <= 1999);
  Require(s.printerPort >= 1 && s.printerPort <= 65535);
  // The log level (0-255) is 8-bit unsigned: in range by type.

  RequireCleanValue(s.lineSettings);
  RequireCleanValue(s.peerHost);
  RequireCleanValue(s.spoolFile);
  RequireCleanValue(s.logFileName);
  RequireCleanValue(s.printerHost);

  // The number reader on its own: a result is the fallback or inside the range.
  const int32_t value = tavrik::ParseRangedInt(line, -5, 70000, 12345);
  Require(value == 12345 || (value >= -5 && value <= 70000));
  return 0;
}
