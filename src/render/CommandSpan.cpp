#include "render/CommandSpan.h"

#include <cstdint>

#include "escpos/CommandLengths.h"
#include "escpos/CommandTable.h"
#include "receipt/ReceiptDecoder.h"

namespace tavrik {
namespace {

constexpr size_t kMaxTabBytes = 33;  // 32 positions and the NUL
constexpr uint8_t kMaxCharacterBytes = 4;
constexpr uint8_t kMaxCharacterWidth = 48;

class Measure {
 public:
  Measure(std::string_view bytes, size_t at) : bytes_(bytes), at_(at) {}

  CommandSpan Run();

 private:
  bool Has(size_t length) const { return at_ + length <= bytes_.size(); }
  uint8_t At(size_t offset) const { return static_cast<uint8_t>(bytes_[at_ + offset]); }
  CommandSpan Take(size_t length) const { return Has(length) ? CommandSpan{length, true} : CommandSpan{}; }
  CommandSpan ToNul(size_t header, size_t bound) const;
  CommandSpan Data(size_t header, uint64_t data, bool valid) const {
    return valid && data <= ReceiptDecoder::kMaxCommandBytes ? Take(header + static_cast<size_t>(data))
                                                              : CommandSpan{header, true};
  }
  CommandSpan UserCharacters(size_t header) const;

  std::string_view bytes_;
  size_t at_;
};

CommandSpan Measure::ToNul(size_t header, size_t bound) const {
  for (size_t k = header; k < header + bound; ++k) {
    if (!Has(k + 1)) return {};
    if (At(k) == kNul) return {k + 1, true};
  }
  return {header, true};
}

CommandSpan Measure::UserCharacters(size_t header) const {
  const uint8_t y = At(2);
  const uint8_t first = At(3);
  const uint8_t last = At(4);
  if (y > kMaxCharacterBytes || first < 0x20 || last > 0x7E) return {header, true};
  size_t length = header;
  for (unsigned c = first; c <= last; ++c) {
    if (!Has(length + 1)) return {};
    const uint8_t x = At(length);
    if (x > kMaxCharacterWidth) return {length, true};
    length += 1u + size_t{y} * x;
  }
  return Take(length);
}

CommandSpan Measure::Run() {
  if (!Has(2)) return {};
  const uint8_t prefix = At(0);
  const Command& command = FindCommand(prefix, At(1));
  if (command.syntax == Syntax::Unknown) return {prefix == kDle ? size_t{1} : size_t{2}, true};
  const size_t header = 2u + command.params;
  if (!Has(header)) return {};
  switch (command.syntax) {
    case Syntax::Unknown:
    case Syntax::Fixed: return {header, true};
    case Syntax::Counted16: return Data(header, Word(At(3), At(4)), true);
    case Syntax::Counted32: {
      const uint64_t length = Word(At(3), At(4)) | uint64_t{Word(At(5), At(6))} << 16;
      return Data(header, length, length <= ReceiptDecoder::kMaxBlockBytes);
    }
    case Syntax::BitImage: {
      const uint32_t columns = Word(At(3), At(4));
      return Data(header, uint64_t{columns} * BitImageColumnBytes(At(2)),
                  BitImageColumnBytes(At(2)) > 0 && columns <= ReceiptDecoder::kMaxRasterWidth);
    }
    case Syntax::RasterImage: {
      const uint64_t rowBytes = Word(At(4), At(5));
      const uint64_t rows = Word(At(6), At(7));
      return Data(header, rowBytes * rows,
                  At(2) == '0' && RasterScale(At(3)) != kNoScale && 8 * rowBytes <= ReceiptDecoder::kMaxRasterWidth &&
                      rows <= ReceiptDecoder::kMaxRasterHeight);
    }
    case Syntax::DownloadedImage: return Data(header, uint64_t{At(2)} * At(3) * 8, true);
    case Syntax::Barcode:
      if (IsNulEndedBarcode(At(2))) return ToNul(header, kMaxNulEndedBarcode + 1);
      if (!IsCountedBarcode(At(2))) return {header, true};
      return Has(header + 1) ? Take(header + 1 + At(3)) : CommandSpan{};
    case Syntax::Cut: return Take(header + (CutTakesFeed(At(2)) ? 1 : 0));
    case Syntax::RealTimeStatus: return Take(header + (At(2) == 7 || At(2) == 8 ? 1 : 0));
    case Syntax::RealTimeRequest: return Take(header + RealTimeRequestBytes(At(2)));
    case Syntax::UserCharacters: return UserCharacters(header);
    case Syntax::TabPositions: return ToNul(header, kMaxTabBytes);
  }
  return {header, true};
}

}  // namespace

CommandSpan MeasureCommand(std::string_view bytes, size_t at) { return Measure(bytes, at).Run(); }

}  // namespace tavrik
