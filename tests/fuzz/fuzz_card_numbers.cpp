// The card number masker on any bytes:
// - the result is valid UTF-8 when the input is, and never longer;
// - no maximal run of digit groups joined by one blank or hyphen in it is a
//   card number (13 to 19 digits passing the Luhn check);
// - an input without such a run of 13 digits or more comes back unchanged;
// - masking again changes nothing.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "receipt/CardNumbers.h"
#include "FuzzInput.h"

namespace {

using tavrik::fuzz::Require;

bool IsUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<uint8_t>(text[i]);
    const size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead < 0xE0 ? 2 : lead >= 0xE0 && lead < 0xF0 ? 3
                          : lead >= 0xF0 && lead < 0xF5 ? 4 : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k) {
      if ((static_cast<uint8_t>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

// The digits of every run: digit groups, each joined to the next by exactly
// one blank or hyphen.
std::vector<std::string> DigitRuns(std::string_view text) {
  std::vector<std::string> runs(1);
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool digit = c >= '0' && c <= '9';
    const bool joins = (c == ' ' || c == '-') && !runs.back().empty() && i > 0 && text[i - 1] >= '0' &&
                       text[i - 1] <= '9' && i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '9';
    if (digit) {
      runs.back() += c;
    } else if (!joins && !runs.back().empty()) {
      runs.emplace_back();
    }
  }
  if (runs.back().empty()) runs.pop_back();
  return runs;
}

// Luhn: from the right, every second digit doubled, its digits summed.
bool IsCardNumber(const std::string& digits) {
  static constexpr int kDoubled[] = {0, 2, 4, 6, 8, 1, 3, 5, 7, 9};
  if (digits.size() < 13 || digits.size() > 19) return false;
  int sum = 0;
  for (size_t k = 0; k < digits.size(); ++k) {
    const int digit = digits[digits.size() - 1 - k] - '0';
    sum += k % 2 == 1 ? kDoubled[digit] : digit;
  }
  return sum % 10 == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::string masked = input;
  tavrik::MaskCardNumbers(masked);
  Require(masked.size() <= input.size());
  Require(!IsUtf8(input) || IsUtf8(masked));
  for (const std::string& run : DigitRuns(masked)) Require(!IsCardNumber(run));
  bool longRun = false;
  for (const std::string& run : DigitRuns(input)) longRun = longRun || run.size() >= 13;
  Require(longRun || masked == input);
  std::string again = masked;
  Require(tavrik::MaskCardNumbers(again) == 0 && again == masked);
  return 0;
}
