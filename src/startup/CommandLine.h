#pragma once
// Parsing of the command line into Settings. Pure functions, no I/O.
//
// The line is split at every "-"; each piece is one switch: its first
// character (case-folded) is the letter, the rest the value. So a value can
// hold no hyphen, and text before the first hyphen is read as a switch too.
#include <cstdint>
#include <string>
#include <vector>

#include "controller/Settings.h"

namespace tavrik {

// Element 0 is always empty; then the texts between separators. A separator
// at the start or two adjacent ones give an empty element, one at the very
// end gives no empty last element. An empty separator never matches.
std::vector<std::string> SplitString(const std::string& text, const std::string& separator);

// The decimal number in text, rounded half to even, or defaultValue when the
// text is no decimal number or the value lies outside [min, max] (never
// clamped). Accepted: optional sign, digits with an optional decimal point,
// optional exponent ("+12", "8000.5", ".5", "5.", "1e3").
int32_t ParseRangedInt(const std::string& text, int32_t min, int32_t max, int32_t defaultValue);

Settings ParseCommandLine(const std::string& commandLine);

// text without leading and trailing blanks; blanks are space characters only,
// tabs and other bytes stay.
std::string TrimBlanks(const std::string& text);

// The program's arguments (without its own name) joined with single blanks,
// which is the command-line text ParseCommandLine expects.
std::string JoinArguments(int argc, char** argv);

}  // namespace tavrik
