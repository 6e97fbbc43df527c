#include "frames/DataCommands.h"

#include "escpos/CommandLengths.h"
#include "escpos/CommandTable.h"

namespace tavrik {

DataCommand FindDataCommand(uint8_t lead, uint8_t function) {
  // Two of the table's commands have always passed byte by byte here: ESC m
  // (frames end at ESC i and GS V alone) and ESC ( (its beeper and batch
  // print functions take a few parameters, never data).
  if (lead == kEsc && (function == kEscPartialCutThree || function == kEscFunctionBlock)) return {};
  const Command& command = FindCommand(lead, function);
  switch (command.syntax) {
    case Syntax::Fixed:
      return command.effect == Effect::CutPaper ? DataCommand{DataLayout::kPartialCut, 0}
                                                : DataCommand{};
    case Syntax::Cut: return {DataLayout::kCut, 0};  // its mode byte decides the rest
    case Syntax::BitImage: return {DataLayout::kBitImage, command.params};
    case Syntax::UserCharacters: return {DataLayout::kUserCharacters, command.params};
    case Syntax::RasterImage: return {DataLayout::kRasterImage, command.params};
    case Syntax::DownloadedImage: return {DataLayout::kDownloadedImage, command.params};
    case Syntax::Barcode: return {DataLayout::kBarcode, command.params};
    case Syntax::Counted16: return {DataLayout::kCounted16, command.params};
    case Syntax::Counted32: return {DataLayout::kCounted32, command.params};
    default: return {};
  }
}

std::optional<uint32_t> CountedDataLength(DataLayout layout, const uint8_t* header) {
  switch (layout) {
    case DataLayout::kBitImage: {
      const uint32_t columns = Word(header[1], header[2]);
      const uint8_t columnBytes = BitImageColumnBytes(header[0]);
      if (columns > kMaxPrinterDots || columnBytes == 0) return std::nullopt;
      return columnBytes * columns;
    }
    case DataLayout::kRasterImage: {
      const uint32_t widthBytes = Word(header[2], header[3]);
      const uint64_t length = uint64_t{widthBytes} * Word(header[4], header[5]);
      if (header[0] != '0' || RasterScale(header[1]) == kNoScale ||
          widthBytes * 8 > kMaxPrinterDots || length > kMaxDataLength)
        return std::nullopt;
      return static_cast<uint32_t>(length);
    }
    case DataLayout::kDownloadedImage: return uint32_t{header[0]} * header[1] * 8;
    case DataLayout::kCounted16: return Word(header[1], header[2]);
    case DataLayout::kCounted32: {
      const uint64_t length = Word(header[1], header[2]) + 65536ull * Word(header[3], header[4]);
      if (header[0] != kBlockGraphics || length > kMaxDataLength) return std::nullopt;
      return static_cast<uint32_t>(length);
    }
    default: return std::nullopt;
  }
}

}  // namespace tavrik
