#include "load/Receipt.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace tavrik::load {
namespace {

constexpr char kEsc = '\x1B';
constexpr char kGs = '\x1D';
constexpr std::string_view kTitle = "TAVRIK LOAD seq=";
constexpr std::string_view kSentField = " sent=";
constexpr std::string_view kSizeField = " size=";
constexpr size_t kSeqDigits = 16;
constexpr size_t kSentDigits = 20;
constexpr size_t kSizeDigits = 6;
// Offsets from the title's start.
constexpr size_t kSeqAt = kTitle.size();
constexpr size_t kSentAt = kSeqAt + kSeqDigits + kSentField.size();
constexpr size_t kSizeAt = kSentAt + kSentDigits + kSizeField.size();
constexpr size_t kTitleLine = kSizeAt + kSizeDigits + 1;  // 71, the newline included
constexpr size_t kPrintedAt = 2;  // behind ESC "@"
// Behind ESC "@" FS "(A" pL pH: a block the printer does not print.
constexpr char kHiddenText[] = "\x1B@\x1C(A\x47";
constexpr std::string_view kHidden{kHiddenText, sizeof kHiddenText};  // pH 0 included
constexpr size_t kHiddenAt = kHidden.size();
static_assert(kPrintedAt + kTitleLine == Receipt::kHeaderSize);
static_assert(kHiddenAt + kTitleLine == Receipt::kHiddenHeaderSize && kTitleLine == 0x47);
constexpr std::string_view kSumField = "sum=";
constexpr size_t kSumHex = 16;
constexpr size_t kTrailer = kSumField.size() + kSumHex + 1 + 3;  // sum line + GS "V" 0x00

size_t TitleAt(ReceiptContent::Kind kind) {
  return kind == ReceiptContent::Kind::Image ? kHiddenAt : kPrintedAt;
}

size_t FillerAt(ReceiptContent::Kind kind) {
  return TitleAt(kind) + kTitleLine + ReceiptContent::DecorSize(kind);
}

// A different slice per receipt, so that a receipt swapped for another is seen.
std::string_view FillerOf(uint64_t seq, size_t length, std::string_view pool) {
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

// Where the title starts in a well-shaped header, or 0.
size_t HeaderShape(std::string_view header) {
  size_t at = 0;
  if (header.size() >= Receipt::kHeaderSize && header[0] == kEsc && header[1] == '@' &&
      header.substr(kPrintedAt, kTitle.size()) == kTitle) {
    at = kPrintedAt;
  } else if (header.size() >= Receipt::kHiddenHeaderSize && header.substr(0, kHidden.size()) == kHidden &&
             header.substr(kHiddenAt, kTitle.size()) == kTitle) {
    at = kHiddenAt;
  } else {
    return 0;
  }
  const std::string_view title = header.substr(at, kTitleLine);
  const bool ok = title.substr(kSeqAt + kSeqDigits, kSentField.size()) == kSentField &&
                  title.substr(kSentAt + kSentDigits, kSizeField.size()) == kSizeField &&
                  title[kTitleLine - 1] == '\n';
  return ok ? at : 0;
}

}  // namespace

size_t Receipt::SmallestSize(ReceiptContent::Kind kind) {
  return std::max(kMinSize, FillerAt(kind) + 1 + kTrailer);
}

void Receipt::Build(uint64_t seq, int64_t sentNs, size_t size, const ReceiptContent& content, char* out) {
  const ReceiptContent::Kind kind = content.KindOf(seq);
  const size_t at = TitleAt(kind);
  if (at == kHiddenAt) {
    std::memcpy(out, kHidden.data(), kHidden.size());
  } else {
    out[0] = kEsc;
    out[1] = '@';
  }
  char* title = out + at;
  std::memcpy(title, kTitle.data(), kTitle.size());
  PutDigits(title + kSeqAt, seq, kSeqDigits);
  std::memcpy(title + kSeqAt + kSeqDigits, kSentField.data(), kSentField.size());
  PutDigits(title + kSentAt, static_cast<uint64_t>(sentNs), kSentDigits);
  std::memcpy(title + kSentAt + kSentDigits, kSizeField.data(), kSizeField.size());
  PutDigits(title + kSizeAt, size, kSizeDigits);
  title[kTitleLine - 1] = '\n';
  const size_t fillerAt = FillerAt(kind);
  // An image's unprinted block holds the filler and the sum line.
  content.WriteDecor(seq, size - 3 - fillerAt, out + at + kTitleLine);
  const size_t sumAt = size - kTrailer;
  const std::string_view filler = FillerOf(seq, sumAt - fillerAt, content.Pool());
  std::memcpy(out + fillerAt, filler.data(), filler.size());
  const uint64_t sum = Checksum(std::string_view(out, fillerAt));
  std::memcpy(out + sumAt, kSumField.data(), kSumField.size());
  PutHex(out + sumAt + kSumField.size(), sum);
  out[sumAt + kSumField.size() + kSumHex] = '\n';
  out[size - 3] = kGs;
  out[size - 2] = 'V';
  out[size - 1] = '\0';
}

size_t Receipt::PeekSize(std::string_view header) {
  size_t size = 0;
  const size_t at = HeaderShape(header);
  if (at == 0 || !ReadNumber(header.substr(at + kSizeAt, kSizeDigits), size)) return 0;
  return size;
}

Receipt::Verdict Receipt::Check(std::string_view frame, size_t expectedSize, const ReceiptContent& content) {
  Verdict verdict;
  const size_t at = HeaderShape(frame);
  if (at == 0) {
    verdict.reason = "no receipt header";
    return verdict;
  }
  const std::string_view title = frame.substr(at, kTitleLine);
  size_t size = 0;
  if (!ReadNumber(title.substr(kSeqAt, kSeqDigits), verdict.seq) ||
      !ReadNumber(title.substr(kSentAt, kSentDigits), verdict.sentNs) ||
      !ReadNumber(title.substr(kSizeAt, kSizeDigits), size)) {
    verdict.reason = "unreadable header field";
    return verdict;
  }
  const ReceiptContent::Kind kind = content.KindOf(verdict.seq);
  if (at != TitleAt(kind)) {
    verdict.reason = "header of another kind of receipt";
    return verdict;
  }
  const size_t fillerAt = FillerAt(kind);
  if (size != expectedSize || frame.size() != size || size < fillerAt + kTrailer) {
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
  PutHex(expected, Checksum(frame.substr(0, fillerAt)));
  if (frame.substr(sumAt + kSumField.size(), kSumHex) != std::string_view(expected, kSumHex)) {
    verdict.reason = "checksum mismatch";
    return verdict;
  }
  if (frame.substr(fillerAt, sumAt - fillerAt) != FillerOf(verdict.seq, sumAt - fillerAt, content.Pool())) {
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
