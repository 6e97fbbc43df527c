#pragma once
// What a frame told the printer besides its text: drawer pulses, the data of
// bar codes and 2-D codes, raster images, as ReceiptDecoder reports them.
//
// A fact is reported in the frame where its command ends; the data of a code
// or image that began in an earlier frame is put together across frames:
// images whole (the decoder's bounds keep them within 2 MiB), 2-D code data
// up to ReceiptDecoder::kMaxCodeData. A command dropped where a frame ends in
// a cut reports nothing. Code data and image bits are copied into `data`, so
// the facts stand on their own and can be kept without the frame; facts
// refer to it by offset, which stays right when the struct is copied.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavrik {

// A pulse to the cash drawer connector: ESC p m t1 t2 (on t1 x 2 ms, off
// t2 x 2 ms) or DLE DC4 1 m t (on and off t x 100 ms).
struct DrawerPulse {
  uint8_t pin = 2;  // the connector's pin: 2 (m = 0, 48) or 5 (m = 1, 49)
  uint32_t onMs = 0;
  uint32_t offMs = 0;
};

// The bar codes in the order of GS k's m (0-6, and 65-79 less 65), which
// the decoder counts on; the 2-D codes of GS ( k behind them.
enum class Symbology : uint8_t {
  UpcA,
  UpcE,
  Ean13,
  Ean8,
  Code39,
  Itf,
  Codabar,
  Code93,
  Code128,
  Gs1_128,
  Gs1DataBarOmnidirectional,
  Gs1DataBarTruncated,
  Gs1DataBarLimited,
  Gs1DataBarExpanded,
  Code128Auto,  // GS k 79: the printer picks the code sets; no "{A" selectors in the data
  Pdf417,
  QrCode,
  DataMatrix,
};

// "UPC-A", "EAN13", "CODE128", "QR" ...: the name a consumer shows.
std::string_view SymbologyName(Symbology symbology);

// A code's data as the stream carries it: for CODE128 with its code-set
// selectors ("{A", "{B", "{C"; "{{" is a brace), for a 2-D code the bytes
// stored by GS ( k ... fn 80.
struct Code {
  Symbology symbology = Symbology::Code128;
  size_t dataOffset = 0;  // into ReceiptFacts::data
  size_t dataSize = 0;
  bool truncated = false;  // 2-D data longer than ReceiptDecoder::kMaxCodeData: its first part only
};

// Where the image came from, which also says how its bits are laid out.
enum class RasterKind : uint8_t {
  BitImage,         // ESC *: columns of 1 byte (8 dots high) or 3 (24 dots), MSB on top
  RasterImage,      // GS v 0: rows of width / 8 bytes, MSB leftmost
  Graphics,         // GS ( L / GS 8 L fn 112 into the print buffer: rows of (width + 7) / 8 bytes
  DownloadedImage,  // GS *: width columns of height / 8 bytes, MSB on top; printed later by GS /
};

struct Raster {
  RasterKind kind = RasterKind::RasterImage;
  // ESC *: m, the density (0, 1: 8 dots; 32, 33: 24 dots; the odd ones double density).
  // GS v 0 and graphics: 0 normal, 1 double width, 2 double height, 3 both.
  // GS *: 0 (GS / chooses the size).
  uint8_t mode = 0;
  uint32_t widthDots = 0;  // as the data has them, before any doubling
  uint32_t heightDots = 0;
  size_t dataOffset = 0;  // into ReceiptFacts::data
  size_t dataSize = 0;
};

// Reused by the caller from frame to frame like ReceiptText: cleared by each
// Decode, capacity kept.
struct ReceiptFacts {
  std::vector<DrawerPulse> drawerPulses;
  std::vector<Code> codes;
  std::vector<Raster> rasters;
  std::string data;  // code data and image bits, referred to by offset
  // Something but blanks and line ends is in this frame's text.
  bool visibleText = false;

  std::string_view DataOf(const Code& code) const {
    return std::string_view(data).substr(code.dataOffset, code.dataSize);
  }
  std::string_view BitsOf(const Raster& raster) const {
    return std::string_view(data).substr(raster.dataOffset, raster.dataSize);
  }
  void Clear() {
    drawerPulses.clear();
    codes.clear();
    rasters.clear();
    data.clear();
    visibleText = false;
  }
};

}  // namespace tavrik
