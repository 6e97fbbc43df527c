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

// True when the byte at i belongs to a run: a digit, or a separator between two.
bool InRun(std::string_view text, size_t i) {
  if (IsDigit(text[i])) return true;
  return IsSeparator(text[i]) && i > 0 && i + 1 < text.size() && IsDigit(text[i - 1]) && IsDigit(text[i + 1]);
}

// A run of digit groups, each joined to the next by one separator.
struct Run {
  size_t end = 0;
  size_t digitCount = 0;
  std::array<char, kMaxDigits> digits{};  // filled only for a run of kMinDigits to kMaxDigits

  std::string_view Digits() const { return std::string_view(digits.data(), digitCount); }
};

// Reads into run the run that begins with the digit at `at`; its digits are
// gathered only when there are as many as a card number's.
void ReadRun(std::string_view text, size_t at, Run& run) {
  run.digitCount = 0;
  size_t end = at;
  while (true) {
    for (; end < text.size() && IsDigit(text[end]); ++end) ++run.digitCount;
    if (end + 1 < text.size() && IsSeparator(text[end]) && IsDigit(text[end + 1])) {
      ++end;
    } else {
      break;
    }
  }
  run.end = end;
  if (run.digitCount >= kMinDigits && run.digitCount <= kMaxDigits) {
    size_t count = 0;
    for (size_t i = at; i < end; ++i) {
      if (IsDigit(text[i])) run.digits[count++] = text[i];
    }
  }
}

bool IsCardNumber(const Run& run) {
  return run.digitCount >= kMinDigits && run.digitCount <= kMaxDigits && PassesLuhn(run.Digits());
}

}  // namespace

// A run of a card number's length spans at least kMinDigits bytes, so only
// every kMinDigits-th byte is looked at until one is part of a run; the run
// is then read whole, from its start. Read only up to the first card number,
// as almost every receipt has none; from there on, the text between card
// numbers is moved up behind each masked one.
size_t MaskCardNumbers(std::string& text) {
  const std::string_view view(text);
  char* const s = text.data();
  size_t masked = 0;
  size_t write = 0;  // text before it is final
  size_t kept = 0;   // text from here on is still to be moved to write
  size_t scanned = 0;  // no run begins before it that is still to be read
  Run run;
  for (size_t probe = kMinDigits - 1; probe < view.size();) {
    if (!InRun(view, probe)) {
      probe += kMinDigits;
      continue;
    }
    size_t at = probe;
    while (at > scanned && InRun(view, at - 1)) --at;
    ReadRun(view, at, run);
    scanned = run.end;
    probe = run.end + kMinDigits - 1;
    if (!IsCardNumber(run)) continue;
    if (write != kept) std::memmove(s + write, s + kept, at - kept);
    write += at - kept;
    WriteMasked(run.Digits(), s + write);
    write += run.digitCount;
    kept = run.end;
    ++masked;
  }
  if (masked == 0) return 0;
  std::memmove(s + write, s + kept, view.size() - kept);
  text.resize(write + view.size() - kept);
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
