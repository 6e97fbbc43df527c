#pragma once
// What a printer keeps from one job to the next and the renderer carries
// from frame to frame: the code page, print modes, layout, code settings and
// the images and code data stored for later commands. ESC @ brings it back
// to these defaults. Bounded: the stored images are at most what their
// commands can carry within the receipt decoder's bounds (2 MiB each), code
// data at most a QR code's capacity.
#include <cstdint>
#include <string>

namespace tavrik {

enum class Alignment : uint8_t { Left, Center, Right };
// Where a bar code's human-readable text goes (GS H).
enum class HriPosition : uint8_t { None, Above, Below, Both };

// A 1-bit image kept for later printing, in GS v 0's layout: rows of
// (width + 7) / 8 bytes, MSB leftmost.
struct StoredImage {
  uint32_t width = 0;
  uint32_t height = 0;
  uint8_t widthScale = 1;
  uint8_t heightScale = 1;
  std::string rows;

  bool Empty() const { return width == 0 || height == 0; }
  bool operator==(const StoredImage&) const = default;
};

struct PrinterState {
  // Characters.
  uint8_t codePage = 0;  // ESC t number
  bool fontB = false;
  bool emphasized = false;
  bool doubleStrike = false;
  uint8_t underline = 0;  // dots: 0, 1 or 2
  bool reverse = false;
  bool upsideDown = false;
  bool rotated = false;  // 90 degrees clockwise
  uint8_t widthScale = 1;   // 1-8
  uint8_t heightScale = 1;  // 1-8
  uint8_t rightSpacing = 0;  // dots after each character, before scaling

  // Layout, in dots.
  Alignment alignment = Alignment::Left;
  uint32_t leftMargin = 0;
  uint32_t printWidth = UINT32_MAX;  // up to the paper's edge
  uint32_t lineSpacing = kDefaultLineSpacing;

  // Bar codes.
  uint32_t barcodeHeight = 162;
  uint32_t barcodeModule = 3;
  HriPosition hriPosition = HriPosition::None;
  bool hriFontB = false;

  // 2-D codes: the settings and stored data GS ( k print.
  uint8_t qrModule = 3;
  uint8_t qrErrorLevel = 0;  // 0-3: L, M, Q, H
  std::string qrData;
  uint8_t pdfColumns = 0;  // 0: chosen by the encoder
  uint8_t pdfModule = 3;
  uint8_t pdfRowHeight = 3;  // times the module width
  uint8_t pdfErrorLevel = 1;
  std::string pdfData;

  // Images stored for GS / (downloaded) and GS ( L fn 50 (print buffer).
  StoredImage downloaded;
  StoredImage graphics;

  bool operator==(const PrinterState&) const = default;

  // 1/6 inch at 180 dpi: the line pitch of the command reference's printers.
  static constexpr uint32_t kDefaultLineSpacing = 30;
};

}  // namespace tavrik
