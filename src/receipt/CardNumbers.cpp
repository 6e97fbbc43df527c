#include "receipt/CardNumbers.h"

#include <array>
#include <cstring>
#include <string_view>

namespace tavrik {
namespace {

constexpr size_t kMinDigits = 13;
constexpr size_t kMaxDigits = 19;
constexpr size_t kShownFirst = 6;
constexpr size_t kShownLast = 4;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsSeparator(char c) { return c == ' ' || c == '-'; }

// The Luhn check over digits, the last one being the check digit.
bool PassesLuhn(std::string_view digits) {
  unsigned sum = 0;
  bool doubled = false;
  for (size_t i = digits.size(); i-- > 0;) {
    unsigned digit = static_cast<unsigned>(digits[i] - '0');
    if (doubled) digit = digit * 2 > 9 ? digit * 2 - 9 : digit * 2;
    sum += digit;
    doubled = !doubled;
  }
  return sum % 10 == 0;
}

// Writes the masked form of digits (a card number's) to out.
void WriteMasked(std::string_view digits, char* out) {
  std::memcpy(out, digits.data(), kShownFirst);
  std::memset(out + kShownFirst, '*', digits.size() - kShownFirst - kShownLast);
  std::memcpy(out + digits.size() - kShownLast, digits.data() + digits.size() - kShownLast, kShownLast);
}

bool IsCode128(Symbology symbology) {
  return symbology == Symbology::Code128 || symbology == Symbology::Gs1_128;
}

}  // namespace

// One pass, reading at `read` and writing at `write`: until the first card
// number the two are equal and nothing is written.
size_t MaskCardNumbers(std::string& text) {
  char* const s = text.data();
  const size_t size = text.size();
  size_t write = 0;
  size_t masked = 0;
  for (size_t read = 0; read < size;) {
    if (!IsDigit(s[read])) {
      if (write != read) s[write] = s[read];
      ++write;
      ++read;
      continue;
    }
    // The whole run: digit groups, each joined to the next by one separator.
    std::array<char, kMaxDigits> digits{};
    size_t count = 0;
    size_t end = read;
    while (true) {
      for (; end < size && IsDigit(s[end]); ++end) {
        if (count < digits.size()) digits[count] = s[end];
        ++count;
      }
      if (end + 1 < size && IsSeparator(s[end]) && IsDigit(s[end + 1])) {
        ++end;
      } else {
        break;
      }
    }
    const std::string_view number(digits.data(), count < digits.size() ? count : digits.size());
    if (count >= kMinDigits && count <= kMaxDigits && PassesLuhn(number)) {
      WriteMasked(number, s + write);
      write += count;
      ++masked;
    } else {
      if (write != read) std::memmove(s + write, s + read, end - read);
      write += end - read;
    }
    read = end;
  }
  text.resize(write);
  return masked;
}

size_t MaskCardNumbers(ReceiptText& text) {
  size_t masked = MaskCardNumbers(text.text);
  ReceiptFacts& facts = text.facts;
  for (const Code& code : facts.codes) {
    size_t start = code.dataOffset;
    size_t size = code.dataSize;
    const std::string_view data = facts.DataOf(code);
    if (IsCode128(code.symbology) && (data.starts_with("{A") || data.starts_with("{B"))) {
      start += 2;
      size -= 2;
    }
    if (size < kMinDigits || size > kMaxDigits) continue;
    const std::string_view number = std::string_view(facts.data).substr(start, size);
    if (number.find_first_not_of("0123456789") != std::string_view::npos || !PassesLuhn(number)) continue;
    std::memset(facts.data.data() + start + kShownFirst, '*', size - kShownFirst - kShownLast);
    ++masked;
  }
  return masked;
}

}  // namespace tavrik
