#include "load/Receipt.h"

#include <charconv>
#include <cstring>

namespace tavrik::load {
namespace {

constexpr char kEsc = '\x1B';
constexpr char kGs = '\x1D';
constexpr std::string_view kTitle = "TAVRIK LOAD seq=";
constexpr std::string_view kSentField = " sent=";
constexpr std::string_view kSizeField = " size=";
constexpr size_t kSeqAt = 2 + kTitle.size();  // 18
constexpr size_t kSeqDigits = 16;
constexpr size_t kSentAt = kSeqAt + kSeqDigits + kSentField.size();  // 40
constexpr size_t kSentDigits = 20;
constexpr size_t kSizeAt = kSentAt + kSentDigits + kSizeField.size();  // 66
constexpr size_t kSizeDigits = 6;
static_assert(kSizeAt + kSizeDigits + 1 == Receipt::kHeaderSize);
// Centred title, then bold on and off: real commands that are no cut.
constexpr char kDecorText[] =
    "\x1B"
    "a\x01"
    "LOAD TEST RECEIPT\n"
    "\x1B"
    "a\x00"
    "\x1B"
    "E\x01"
    "ITEMS\n"
    "\x1B"
    "E\x00";
constexpr std::string_view kDecor{kDecorText, sizeof kDecorText - 1};
constexpr std::string_view kSumField = "sum=";
constexpr size_t kSumHex = 16;
constexpr size_t kTrailer = kSumField.size() + kSumHex + 1 + 3;  // sum line + GS "V" 0x00
constexpr size_t kPoolSize = 1 << 16;
constexpr size_t kFillerAt = Receipt::kHeaderSize + kDecor.size();

// A different slice per receipt, so that a receipt swapped for another is seen.
std::string_view FillerOf(uint64_t seq, size_t size, std::string_view pool) {
  const size_t length = size - kTrailer - kFillerAt;
  return pool.substr(static_cast<size_t>(seq * 131) % (pool.size() - length), length);
}

void PutDigits(char* out, uint64_t value, size_t width) {
  for (size_t i = width; i-- > 0;) {
    out[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
}

void PutHex(char* out, uint64_t value) {
  for (size_t i = 0; i < kSumHex; ++i)
    out[i] = "0123456789abcdef"[(value >> (4 * (kSumHex - 1 - i))) & 0xF];
}

template <typename Number>
bool ReadNumber(std::string_view text, Number& value) {
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

bool HeaderShapeOk(std::string_view header) {
  return header.size() >= Receipt::kHeaderSize && header[0] == kEsc && header[1] == '@' &&
         header.substr(2, kTitle.size()) == kTitle &&
         header.substr(kSeqAt + kSeqDigits, kSentField.size()) == kSentField &&
         header.substr(kSentAt + kSentDigits, kSizeField.size()) == kSizeField &&
         header[Receipt::kHeaderSize - 1] == '\n';
}

}  // namespace

std::string Receipt::FillerPool() {
  std::string pool(kPoolSize, ' ');
  uint64_t state = 0x2545F4914F6CDD1DULL;
  for (char& c : pool) {
    // xorshift64: cheap, fixed, and covers NUL and 0x80-0xFF.
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    auto byte = static_cast<unsigned char>(state >> 24);
    // No ESC, FS or GS (no false cut, no command data hiding the cut) and
    // no "-" (no false boundary line).
    if (byte >= 0x1B && byte <= 0x1D) byte = 0x1E;
    if (byte == '-') byte = '.';
    c = static_cast<char>(byte);
  }
  return pool;
}

void Receipt::Build(uint64_t seq, int64_t sentNs, size_t size, std::string_view pool, char* out) {
  out[0] = kEsc;
  out[1] = '@';
  std::memcpy(out + 2, kTitle.data(), kTitle.size());
  PutDigits(out + kSeqAt, seq, kSeqDigits);
  std::memcpy(out + kSeqAt + kSeqDigits, kSentField.data(), kSentField.size());
  PutDigits(out + kSentAt, static_cast<uint64_t>(sentNs), kSentDigits);
  std::memcpy(out + kSentAt + kSentDigits, kSizeField.data(), kSizeField.size());
  PutDigits(out + kSizeAt, size, kSizeDigits);
  out[kHeaderSize - 1] = '\n';
  std::memcpy(out + kHeaderSize, kDecor.data(), kDecor.size());
  const std::string_view filler = FillerOf(seq, size, pool);
  std::memcpy(out + kFillerAt, filler.data(), filler.size());
  const size_t sumAt = size - kTrailer;
  const uint64_t sum = Checksum(std::string_view(out, kFillerAt));
  std::memcpy(out + sumAt, kSumField.data(), kSumField.size());
  PutHex(out + sumAt + kSumField.size(), sum);
  out[sumAt + kSumField.size() + kSumHex] = '\n';
  out[size - 3] = kGs;
  out[size - 2] = 'V';
  out[size - 1] = '\0';
}

size_t Receipt::PeekSize(std::string_view header) {
  size_t size = 0;
  if (!HeaderShapeOk(header) || !ReadNumber(header.substr(kSizeAt, kSizeDigits), size)) return 0;
  return size;
}

Receipt::Verdict Receipt::Check(std::string_view frame, size_t expectedSize, std::string_view pool) {
  Verdict verdict;
  if (!HeaderShapeOk(frame)) {
    verdict.reason = "no receipt header";
    return verdict;
  }
  size_t size = 0;
  if (!ReadNumber(frame.substr(kSeqAt, kSeqDigits), verdict.seq) ||
      !ReadNumber(frame.substr(kSentAt, kSentDigits), verdict.sentNs) ||
      !ReadNumber(frame.substr(kSizeAt, kSizeDigits), size)) {
    verdict.reason = "unreadable header field";
    return verdict;
  }
  if (size != expectedSize || frame.size() != size) {
    verdict.reason = "wrong length";
    return verdict;
  }
  if (frame[size - 3] != kGs || frame[size - 2] != 'V' || frame[size - 1] != '\0') {
    verdict.reason = "no cut at the end";
    return verdict;
  }
  const size_t sumAt = size - kTrailer;
  if (frame.substr(sumAt, kSumField.size()) != kSumField ||
      frame[sumAt + kSumField.size() + kSumHex] != '\n') {
    verdict.reason = "unreadable sum line";
    return verdict;
  }
  char expected[kSumHex];
  PutHex(expected, Checksum(frame.substr(0, kFillerAt)));
  if (frame.substr(sumAt + kSumField.size(), kSumHex) != std::string_view(expected, kSumHex)) {
    verdict.reason = "checksum mismatch";
    return verdict;
  }
  if (frame.substr(kFillerAt, sumAt - kFillerAt) != FillerOf(verdict.seq, size, pool)) {
    verdict.reason = "filler differs";
    return verdict;
  }
  verdict.kind = Kind::Intact;
  return verdict;
}

uint64_t Receipt::Checksum(std::string_view bytes) {
  constexpr uint64_t kPrime = 0x100000001B3ULL;
  const auto mix = [](uint64_t h, uint64_t word) {
    h = (h ^ word) * kPrime;
    return h ^ (h >> 29);
  };
  const auto word = [&](size_t at) {
    uint64_t value = 0;
    std::memcpy(&value, bytes.data() + at, 8);
    return value;
  };
  // Every client sums every copy: four independent lanes let the multiplies
  // overlap instead of waiting on one another.
  uint64_t lanes[4] = {0x9E3779B97F4A7C15ULL ^ bytes.size(), 1, 2, 3};
  size_t i = 0;
  for (; i + 32 <= bytes.size(); i += 32) {
    for (size_t k = 0; k < 4; ++k) lanes[k] = mix(lanes[k], word(i + 8 * k));
  }
  uint64_t h = mix(mix(mix(lanes[0], lanes[1]), lanes[2]), lanes[3]);
  for (; i + 8 <= bytes.size(); i += 8) h = mix(h, word(i));
  for (; i < bytes.size(); ++i) h = mix(h, static_cast<unsigned char>(bytes[i]));
  return h;
}

}  // namespace tavrik::load
