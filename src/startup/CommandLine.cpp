#include "startup/CommandLine.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace tavrik {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// An exponent this large already puts every non-zero value far beyond 32 bits
// or below one half, so larger ones need not be kept exactly (and 1e999999...
// cannot overflow).
constexpr int64_t kExponentCap = 1'000'000'000;

// A decimal number as written: value = sign * digits * 10^exponent, digits
// without leading zeros (empty for zero).
struct Decimal {
  bool negative = false;
  std::string digits;
  int64_t exponent = 0;
};

// Reads [sign] (digits [. [digits]] | . digits) [(e|E) [sign] digits], nothing else.
std::optional<Decimal> ReadDecimal(const std::string& text) {
  Decimal number;
  const size_t n = text.size();
  size_t i = 0;
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    number.negative = text[i] == '-';
    ++i;
  }
  size_t mantissaDigits = 0;
  int64_t fractionDigits = 0;
  for (; i < n && IsDigit(text[i]); ++i, ++mantissaDigits) number.digits += text[i];
  if (i < n && text[i] == '.') {
    for (++i; i < n && IsDigit(text[i]); ++i, ++mantissaDigits, ++fractionDigits) {
      number.digits += text[i];
    }
  }
  if (mantissaDigits == 0) return std::nullopt;

  int64_t exponent = 0;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool negativeExponent = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
      negativeExponent = text[i] == '-';
      ++i;
    }
    size_t exponentDigits = 0;
    for (; i < n && IsDigit(text[i]); ++i, ++exponentDigits) {
      exponent = std::min(exponent * 10 + (text[i] - '0'), kExponentCap);
    }
    if (exponentDigits == 0) return std::nullopt;
    if (negativeExponent) exponent = -exponent;
  }
  if (i != n) return std::nullopt;

  number.digits.erase(0, number.digits.find_first_not_of('0'));
  number.exponent = exponent - fractionDigits;
  return number;
}

// |number| rounded to the nearest integer, halfway to even; nullopt when it
// has more than ten integer digits (then it is beyond 32 bits anyway).
std::optional<int64_t> RoundedMagnitude(const Decimal& number) {
  const std::string& digits = number.digits;
  if (digits.empty()) return 0;
  const int64_t size = static_cast<int64_t>(digits.size());
  const int64_t integerDigits = size + number.exponent;
  if (integerDigits > 10) return std::nullopt;
  if (integerDigits < 0) return 0;  // below 0.1

  int64_t magnitude = 0;
  for (int64_t k = 0; k < integerDigits; ++k) {
    magnitude = magnitude * 10 + (k < size ? digits[static_cast<size_t>(k)] - '0' : 0);
  }
  if (integerDigits < size) {
    const auto firstFraction = static_cast<size_t>(integerDigits);
    const char half = digits[firstFraction];
    const bool aboveHalf = digits.find_first_not_of('0', firstFraction + 1) != std::string::npos;
    if (half > '5' || (half == '5' && (aboveHalf || magnitude % 2 != 0))) ++magnitude;
  }
  return magnitude;
}

// Blanks are space characters only; tabs and other bytes stay.
std::string TrimBlanks(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  const size_t last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

// Only the switch letter is case-folded; values keep their case (paths and
// host names are case-sensitive here). ASCII only, independent of the locale.
char FoldCase(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// One line per switch letter, so this reads as the letter table.
// clang-format off
void ApplySwitch(Settings& settings, char letter, const std::string& value) {
  switch (letter) {
    case 's': settings.serviceMode = true; break;
    case 'p': settings.clientPort = ParseRangedInt(value, 1, 65535, 8147); break;
    case 'c': settings.serialPort = static_cast<int16_t>(ParseRangedInt(value, 1, 127, 1)); break;
    case 'b': settings.lineSettings = value; break;
    case 'd': settings.logLevel = static_cast<uint8_t>(ParseRangedInt(value, 0, 255, 6)); break;
    case 'a': settings.peerHost = value; break;
    case 't': settings.sourcePort = ParseRangedInt(value, 1, 65535, 0); break;
    case 'f': settings.frameTimeoutMs = ParseRangedInt(value, 0, 59000, 500); break;
    case 'l': settings.listen = true; break;
    case 'g': settings.logSizeMB = ParseRangedInt(value, 1, 1999, 10); break;
    case 'i': settings.logFileName = value; break;
    case 'u': settings.cutDetection = true; break;
    case 'e': settings.eventContentType = true; break;
    case 'r': settings.protocol = ParseRangedInt(value, 0, 255, 0) == 1 ? NetworkProtocol::kUdp : NetworkProtocol::kTcp; break;
    case 'h': settings.spoolFile = value; break;
    case 'k': settings.outputsFile = value; break;
    default: break;  // unknown letters are ignored without a message
  }
}
// clang-format on

}  // namespace

std::vector<std::string> SplitString(const std::string& text, const std::string& separator) {
  std::vector<std::string> pieces(1);
  if (text.empty()) return pieces;
  size_t start = 0;
  if (!separator.empty()) {
    for (size_t pos = text.find(separator); pos != std::string::npos;
         pos = text.find(separator, start)) {
      pieces.push_back(text.substr(start, pos - start));
      start = pos + separator.size();
    }
  }
  if (start < text.size()) pieces.push_back(text.substr(start));
  return pieces;
}

int32_t ParseRangedInt(const std::string& text, int32_t min, int32_t max, int32_t defaultValue) {
  const std::optional<Decimal> number = ReadDecimal(text);
  if (!number) return defaultValue;
  const std::optional<int64_t> magnitude = RoundedMagnitude(*number);
  if (!magnitude) return defaultValue;
  const int64_t value = number->negative ? -*magnitude : *magnitude;
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) {
    return defaultValue;
  }
  if (value > max || value < min) return defaultValue;
  return static_cast<int32_t>(value);
}

Settings ParseCommandLine(const std::string& commandLine) {
  Settings settings;
  const std::vector<std::string> pieces = SplitString(commandLine, "-");
  for (size_t i = 1; i < pieces.size(); ++i) {  // element 0 is always empty
    const std::string element = TrimBlanks(pieces[i]);
    if (element.empty()) continue;
    ApplySwitch(settings, FoldCase(element[0]), TrimBlanks(element.substr(1)));
  }
  return settings;
}

std::string JoinArguments(int argc, char** argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += ' ';
    line += argv[i];
  }
  return line;
}

}  // namespace tavrik
