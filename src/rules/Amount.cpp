#include "rules/Amount.h"

namespace tavrik {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsDecimalMark(char c) { return c == '.' || c == ','; }
bool IsGroupMark(char c) { return c == ' ' || c == '\''; }

// Exactly three digits at at, then no further digit.
bool ThreeDigitsAt(std::string_view line, size_t at) {
  return at + 3 <= line.size() && IsDigit(line[at]) && IsDigit(line[at + 1]) && IsDigit(line[at + 2]) &&
         (at + 3 == line.size() || !IsDigit(line[at + 3]));
}

}  // namespace

std::optional<double> FirstAmount(std::string_view line, size_t from) {
  size_t begin = from;
  while (begin < line.size() && !IsDigit(line[begin])) ++begin;
  if (begin == line.size()) return std::nullopt;
  // The number's extent, and what its '.' and ',' are.
  size_t end = begin;
  size_t dots = 0;
  size_t commas = 0;
  size_t lastMark = std::string_view::npos;
  while (end < line.size()) {
    const char c = line[end];
    if (IsDigit(c)) {
      ++end;
    } else if (IsDecimalMark(c) && end + 1 < line.size() && IsDigit(line[end + 1])) {
      (c == '.' ? dots : commas) += 1;
      lastMark = end++;
    } else if (IsGroupMark(c) && ThreeDigitsAt(line, end + 1)) {
      ++end;
    } else {
      break;
    }
  }
  size_t decimal = std::string_view::npos;
  if (lastMark != std::string_view::npos) {
    const size_t sameKind = line[lastMark] == '.' ? dots : commas;
    const bool both = dots > 0 && commas > 0;
    const bool groupOfThree = end - lastMark - 1 == 3;
    if (both || (sameKind == 1 && !groupOfThree)) decimal = lastMark;
  }
  double value = 0;
  double scale = 1;
  for (size_t at = begin; at < end; ++at) {
    if (!IsDigit(line[at])) continue;
    const double digit = line[at] - '0';
    if (decimal != std::string_view::npos && at > decimal) {
      scale /= 10;
      value += digit * scale;
    } else {
      value = value * 10 + digit;
    }
  }
  const bool negative = (begin > from && line[begin - 1] == '-') || (end < line.size() && line[end] == '-');
  return negative ? -value : value;
}

}  // namespace tavrik
