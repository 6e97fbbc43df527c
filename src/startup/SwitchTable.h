#pragma once
// The command-line switches: one table that both the parser and the usage
// text read, so that --help always tells what the parser does.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "controller/Settings.h"

namespace tavrik {

// The range of a numeric switch, and what a missing, malformed or
// out-of-range value gives instead (never clamped to the range).
struct NumberRange {
  int32_t min = 0;
  int32_t max = 0;
  int32_t fallback = 0;
};

struct Switch {
  char letter;                   // lower case; the command line's letter is case-folded
  std::string_view argument;     // "N", "HOST" ...; empty for an on/off switch
  std::string_view meaning;
  std::string_view defaultValue;
  NumberRange range;             // numeric switches only
  void (*apply)(Settings& settings, const std::string& value, const NumberRange& range);

  bool IsNumeric() const { return range.min != range.max; }
};

std::span<const Switch> Switches();

// The text --help prints.
std::string UsageText();

}  // namespace tavrik
