#include "frames/DataCommands.h"

namespace tavrik {
namespace {

uint32_t Word(const uint8_t* low) { return low[0] + 256u * low[1]; }

}  // namespace

DataCommand FindDataCommand(uint8_t lead, uint8_t function) {
  if (lead == kEscLead) {
    switch (function) {
      case 'i': return {DataLayout::kPartialCut, 0};
      case '*': return {DataLayout::kBitImage, 3};
      case '&': return {DataLayout::kUserCharacters, 3};
      default: return {};
    }
  }
  if (lead == kGsLead) {
    switch (function) {
      case 'V': return {DataLayout::kCut, 0};
      case 'v': return {DataLayout::kRasterImage, 6};
      case '*': return {DataLayout::kDownloadedImage, 2};
      case 'k': return {DataLayout::kBarcode, 1};
      case '(': return {DataLayout::kCounted16, 3};
      case '8': return {DataLayout::kCounted32, 5};
      default: return {};
    }
  }
  if (lead == kFsLead && function == '(') return {DataLayout::kCounted16, 3};
  return {};
}

std::optional<uint32_t> CountedDataLength(DataLayout layout, const uint8_t* header) {
  switch (layout) {
    case DataLayout::kBitImage: {
      const uint8_t mode = header[0];
      const uint32_t columns = Word(header + 1);
      if (columns > kMaxImageDots) return std::nullopt;
      if (mode == 0 || mode == 1) return columns;
      if (mode == 32 || mode == 33) return 3 * columns;
      return std::nullopt;
    }
    case DataLayout::kRasterImage: {
      // GS v 0 m: m selects the scale, 0-3 or their digits '0'-'3'.
      const uint8_t mode = header[1];
      const bool modeValid = mode <= 3 || (mode >= '0' && mode <= '3');
      const uint32_t widthBytes = Word(header + 2);
      const uint64_t length = uint64_t{widthBytes} * Word(header + 4);
      if (header[0] != '0' || !modeValid || widthBytes * 8 > kMaxImageDots || length > kMaxDataLength)
        return std::nullopt;
      return static_cast<uint32_t>(length);
    }
    case DataLayout::kDownloadedImage: return uint32_t{header[0]} * header[1] * 8;
    case DataLayout::kCounted16: return Word(header + 1);
    case DataLayout::kCounted32: {
      const uint64_t length = Word(header + 1) + 65536ull * Word(header + 3);
      if (header[0] != 'L' || length > kMaxDataLength) return std::nullopt;
      return static_cast<uint32_t>(length);
    }
    default: return std::nullopt;
  }
}

}  // namespace tavrik
