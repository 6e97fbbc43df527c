#include "render/ReceiptRenderer.h"

#include <algorithm>
#include <string>

#include "escpos/CommandLengths.h"
#include "escpos/ControlBytes.h"
#include "receipt/ReceiptDecoder.h"
#include "render/Code128Text.h"
#include "render/CommandSpan.h"

namespace tavrik {
namespace {

constexpr uint32_t kTabColumns = 8;  // tab stops every 8 characters
// A stored logo's box: the logo itself lives in the printer.
constexpr uint32_t kLogoWidth = 192;
constexpr uint32_t kLogoHeight = 96;
// A code the renderer cannot draw, or wider than the print area.
constexpr uint32_t kCodeBoxHeight = 64;

// n or its digit: ESC a 1 and ESC a '1' are the same.
uint8_t Choice(uint8_t n) { return n >= '0' && n <= '9' ? static_cast<uint8_t>(n - '0') : n; }
uint8_t Byte(std::string_view bytes, size_t at) { return static_cast<uint8_t>(bytes[at]); }

// GS / m, FS p n m: 0 normal, 1 double width, 2 double height, 3 both.
uint8_t WidthScale(uint8_t m) { return (Choice(m) & 1) != 0 ? 2 : 1; }
uint8_t HeightScale(uint8_t m) { return (Choice(m) & 2) != 0 ? 2 : 1; }

BitRows RowsOf(const StoredImage& image) {
  return {reinterpret_cast<const uint8_t*>(image.rows.data()), image.width, image.height, (image.width + 7u) / 8u};
}

}  // namespace

ReceiptRenderer::ReceiptRenderer(RenderSettings settings) : settings_(settings) {
  settings_.widthDots = std::clamp(settings_.widthDots, kMinWidth, kMaxPrinterDots);
  settings_.maxRows = std::min(settings_.maxRows, kMaxRows);
}

RenderedReceipt ReceiptRenderer::Render(std::string_view frame, PrinterState& state) {
  RenderedReceipt out{PaperImage(settings_.widthDots, settings_.maxRows), false};
  Run(frame, state, out, true);
  return out;
}

void ReceiptRenderer::Advance(std::string_view frame, PrinterState& state) {
  RenderedReceipt out{PaperImage(settings_.widthDots, 0), false};
  Run(frame, state, out, false);
}

void ReceiptRenderer::Run(std::string_view frame, PrinterState& state, RenderedReceipt& out, bool draw) {
  state_ = &state;
  out_ = &out;
  const CodePage* page = FindCodePage(state.codePage);
  codePage_ = page != nullptr ? page : &DefaultCodePage();
  y_ = 0;
  drawing_ = draw;
  for (size_t at = 0; at < frame.size();) {
    const auto byte = Byte(frame, at);
    if (byte == kEsc || byte == kGs || byte == kFs || byte == kDle) {
      const CommandSpan span = MeasureCommand(frame, at);
      if (!span.complete) break;
      RunCommand(frame.substr(at, span.length));
      at += span.length;
      continue;
    }
    if (byte == kLf || byte == kFf) {
      PrintLine(1);
    } else if (byte == kHt) {
      Tab();
    } else if (byte >= 0x20 && byte < 0x7F) {
      AddCharacter(byte);
    } else if (byte >= 0x80) {
      AddCharacter((*codePage_)[byte - 0x80u]);
    }  // CR, DEL and other control bytes print nothing
    ++at;
  }
  PrintLine(0);
  if (drawing_) out.paper.Extend(y_);
  state_ = nullptr;
  out_ = nullptr;
}

void ReceiptRenderer::RunCommand(std::string_view command) {
  switch (Byte(command, 0)) {
    case kEsc: RunEsc(command); return;
    case kGs: RunGs(command); return;
    case kFs:
      if (command.size() == 4 && Byte(command, 1) == 'p') {
        const uint8_t m = Byte(command, 3);
        PrintLabelledBox(kLogoWidth * WidthScale(m), kLogoHeight * HeightScale(m),
                         "LOGO " + std::to_string(Byte(command, 2)));
      }
      return;
    default: return;  // DLE: real-time commands print nothing
  }
}

void ReceiptRenderer::RunEsc(std::string_view command) {
  PrinterState& s = *state_;
  const uint8_t n = command.size() > 2 ? Byte(command, 2) : 0;
  switch (Byte(command, 1)) {
    case ' ': s.rightSpacing = n; return;
    case '!':
      s.fontB = (n & 0x01) != 0;
      s.emphasized = (n & 0x08) != 0;
      s.heightScale = (n & 0x10) != 0 ? 2 : 1;
      s.widthScale = (n & 0x20) != 0 ? 2 : 1;
      s.underline = (n & 0x80) != 0 ? 1 : 0;
      return;
    case '$': {
      const uint32_t position = Word(n, Byte(command, 3));
      if (position < AreaWidth()) line_.MoveTo(position);
      return;
    }
    case '-': if (Choice(n) <= 2) s.underline = Choice(n); return;
    case '2': s.lineSpacing = PrinterState::kDefaultLineSpacing; return;
    case '3': s.lineSpacing = n; return;
    case '@': Initialize(); return;
    case 'E': s.emphasized = (n & 1) != 0; return;
    case 'G': s.doubleStrike = (n & 1) != 0; return;
    case 'J': PrintLine(0, n); return;
    case 'M': s.fontB = Choice(n) == 1; return;
    case 'V': s.rotated = Choice(n) == 1 || Choice(n) == 2; return;
    case 'a': if (Choice(n) <= 2) s.alignment = static_cast<Alignment>(Choice(n)); return;
    case 'd': PrintLine(n); return;
    case 'i':
    case 'm': Cut(0); return;
    case 't': {
      s.codePage = n;
      const CodePage* page = FindCodePage(n);
      codePage_ = page != nullptr ? page : &DefaultCodePage();
      return;
    }
    case '{': s.upsideDown = (n & 1) != 0; return;
    case '*':
      if (command.size() > 5) {
        const uint32_t columns = Word(Byte(command, 3), Byte(command, 4));
        if (!line_.Fits(std::min(columns, AreaWidth()), AreaWidth())) PrintLine(1);
        line_.AddBitImage(command.substr(5), Byte(command, 2));
      }
      return;
    case '(': RunBlock(command, 5); return;
    default: return;
  }
}

void ReceiptRenderer::RunGs(std::string_view command) {
  PrinterState& s = *state_;
  const uint8_t n = command.size() > 2 ? Byte(command, 2) : 0;
  switch (Byte(command, 1)) {
    case '!':
      if ((n & 0x88) == 0) {
        s.widthScale = static_cast<uint8_t>((n >> 4) + 1);
        s.heightScale = static_cast<uint8_t>((n & 0x07) + 1);
      }
      return;
    case 'B': s.reverse = (n & 1) != 0; return;
    case 'L': s.leftMargin = Word(n, Byte(command, 3)); return;
    case 'W': s.printWidth = Word(n, Byte(command, 3)); return;
    case 'V': Cut(command.size() == 4 ? Byte(command, 3) : 0); return;
    case 'h': if (n > 0) s.barcodeHeight = n; return;
    case 'w': if (n >= 1 && n <= 6) s.barcodeModule = n; return;
    case 'H': if (Choice(n) <= 3) s.hriPosition = static_cast<HriPosition>(Choice(n)); return;
    case 'f': s.hriFontB = Choice(n) == 1; return;
    case 'k':
      if (IsNulEndedBarcode(n) && command.size() > 3) {
        PrintBarcode(static_cast<Symbology>(n), command.substr(3, command.size() - 4));
      } else if (IsCountedBarcode(n) && command.size() > 4) {
        PrintBarcode(static_cast<Symbology>(n - 65), command.substr(4));
      }
      return;
    case '(': RunBlock(command, 5); return;
    case '8': RunBlock(command, 7); return;
    case '*': {
      if (command.size() < 4) return;
      const uint32_t width = 8u * n;
      const uint32_t height = 8u * Byte(command, 3);
      const std::string_view columns = command.substr(4);
      StoredImage& image = s.downloaded;
      image.width = width;
      image.height = height;
      image.rows.assign(size_t{(width + 7) / 8} * height, '\0');
      const uint32_t columnBytes = height / 8;
      for (uint32_t x = 0; x < width; ++x)
        for (uint32_t y = 0; y < height; ++y)
          if ((Byte(columns, x * columnBytes + y / 8) >> (7 - y % 8) & 1) != 0)
            image.rows[y * ((width + 7) / 8) + x / 8] = static_cast<char>(
                static_cast<uint8_t>(image.rows[y * ((width + 7) / 8) + x / 8]) | 0x80u >> (x % 8));
      return;
    }
    case '/': PrintStored(s.downloaded, WidthScale(n), HeightScale(n)); return;
    case 'v':
      if (command.size() >= 8) {
        const uint8_t scale = RasterScale(Byte(command, 3));
        const size_t rowBytes = Word(Byte(command, 4), Byte(command, 5));
        const uint32_t rows = Word(Byte(command, 6), Byte(command, 7));
        // A header that is not an image's takes no data (see MeasureCommand).
        if (command.size() != 8 + rowBytes * rows || scale == kNoScale) return;
        const BitRows bits{reinterpret_cast<const uint8_t*>(command.data() + 8), static_cast<uint32_t>(8 * rowBytes),
                           rows, rowBytes};
        PrintRows(bits, (scale & 1) != 0 ? 2 : 1, (scale & 2) != 0 ? 2 : 1);
      }
      return;
    default: return;
  }
}

// ESC ( X, GS ( X, GS 8 L: the block's function byte, then its bytes behind
// a header of `header` bytes.
void ReceiptRenderer::RunBlock(std::string_view command, size_t header) {
  if (Byte(command, 0) != kGs || command.size() <= header) return;
  if (Byte(command, 2) == kBlockCodes && header == 5) RunCodeBlock(command);
  if (Byte(command, 2) == kBlockGraphics) RunGraphicsBlock(command, header);
}

// GS ( k pL pH cn fn ...: QR code (cn 49) and PDF417 (cn 48) settings, data and printing.
void ReceiptRenderer::RunCodeBlock(std::string_view command) {
  if (command.size() < 7) return;
  PrinterState& s = *state_;
  const uint8_t cn = Byte(command, 5);
  const uint8_t fn = Byte(command, 6);
  const bool has1 = command.size() > 7;
  const uint8_t p1 = has1 ? Byte(command, 7) : 0;
  const uint8_t p2 = command.size() > 8 ? Byte(command, 8) : 0;
  const std::string_view data = command.size() > 8 ? command.substr(8, ReceiptDecoder::kMaxCodeData) : "";
  if (cn == 49) {
    if (fn == 67 && p1 >= 1 && p1 <= 16) s.qrModule = p1;
    if (fn == 69 && p1 >= 48 && p1 <= 51) s.qrErrorLevel = static_cast<uint8_t>(p1 - 48);
    if (fn == 80) s.qrData.assign(data);
    if (fn == 81) PrintTwoDimensional(Symbology::QrCode);
  } else if (cn == 48) {
    if (fn == 65 && has1 && p1 <= 30) s.pdfColumns = p1;
    if (fn == 67 && p1 >= 2 && p1 <= 8) s.pdfModule = p1;
    if (fn == 68 && p1 >= 2 && p1 <= 8) s.pdfRowHeight = p1;
    if (fn == 69 && p1 == 48 && p2 >= 48 && p2 <= 56) s.pdfErrorLevel = static_cast<uint8_t>(p2 - 48);
    if (fn == 80) s.pdfData.assign(data);
    if (fn == 81) PrintTwoDimensional(Symbology::Pdf417);
  }
}

// GS ( L / GS 8 L m fn ...: fn 112 stores a raster image in the print
// buffer (a bx by c xL xH yL yH data), fn 50 (or 2) prints and clears it.
void ReceiptRenderer::RunGraphicsBlock(std::string_view command, size_t header) {
  const std::string_view body = command.substr(header);
  if (body.size() < 2) return;
  const uint8_t fn = Byte(body, 1);
  StoredImage& image = state_->graphics;
  if (fn == 2 || fn == 50) {
    PrintStored(image, image.widthScale, image.heightScale);
    image = StoredImage{};
    return;
  }
  if (fn != 112 || body.size() < 10 || Byte(body, 2) != 48) return;
  const uint8_t bx = Byte(body, 3);
  const uint8_t by = Byte(body, 4);
  const uint32_t width = Word(Byte(body, 6), Byte(body, 7));
  const uint32_t height = Word(Byte(body, 8), Byte(body, 9));
  const std::string_view rows = body.substr(10);
  if (bx < 1 || bx > 2 || by < 1 || by > 2 || width > kMaxPrinterDots ||
      rows.size() != size_t{(width + 7) / 8} * height)
    return;
  image.width = width;
  image.height = height;
  image.widthScale = bx;
  image.heightScale = by;
  image.rows.assign(rows);
}

void ReceiptRenderer::AddCharacter(char16_t c) {
  if (c >= 0x200B && c <= 0x200F) return;  // zero-width joiners and direction marks take no room
  const BitmapFont& font = state_->fontB ? FontB() : FontA();
  const GlyphStyle style = Style();
  if (!line_.Fits(CellWidth(font, style), AreaWidth())) PrintLine(1);
  line_.AddGlyph(font, font.Find(c), style);
}

void ReceiptRenderer::Tab() {
  const BitmapFont& font = state_->fontB ? FontB() : FontA();
  const uint32_t stop = kTabColumns * CellWidth(font, Style());
  const uint32_t next = (line_.Width() / stop + 1) * stop;
  if (next < AreaWidth()) line_.MoveTo(next);
}

void ReceiptRenderer::PrintLine(uint32_t lines, uint32_t dots) {
  if (!drawing_) {
    line_.Clear();
    return;
  }
  const uint32_t height = line_.Print(out_->paper, y_, AreaLeft(), AreaWidth(), state_->alignment, state_->upsideDown);
  if (lines == 0) {
    Feed(std::max(height, dots));
  } else {
    Feed(std::max(height, state_->lineSpacing) + uint64_t{lines - 1} * state_->lineSpacing);
  }
}

void ReceiptRenderer::Feed(uint64_t dots) {
  if (!drawing_) return;
  if (uint64_t{y_} + dots > settings_.maxRows) {
    out_->paper.Extend(uint64_t{y_} + dots);  // marks the image truncated
    drawing_ = false;
    return;
  }
  y_ += static_cast<uint32_t>(dots);
}

bool ReceiptRenderer::StartBand(uint32_t width, uint32_t height) {
  PrintLine(0);
  if (!drawing_ || width == 0 || height == 0) return false;
  if (!out_->paper.Extend(uint64_t{y_} + height)) {
    drawing_ = false;
    return false;
  }
  const uint32_t area = AreaWidth();
  const uint32_t spare = area > width ? area - width : 0;
  const Alignment alignment = state_->alignment;
  bandX_ = AreaLeft() + (alignment == Alignment::Center ? spare / 2 : alignment == Alignment::Right ? spare : 0);
  return true;
}

void ReceiptRenderer::PrintRows(const BitRows& rows, uint8_t widthScale, uint8_t heightScale) {
  const uint32_t height = rows.height * heightScale;
  if (!StartBand(rows.width * widthScale, height)) return;
  DrawRows(out_->paper, bandX_, y_, rows, widthScale, heightScale);
  Feed(height);
}

void ReceiptRenderer::PrintStored(const StoredImage& image, uint8_t widthScale, uint8_t heightScale) {
  if (!image.Empty()) PrintRows(RowsOf(image), widthScale, heightScale);
}

void ReceiptRenderer::PrintBarcode(Symbology symbology, std::string_view data) {
  if (!drawing_) return;  // encoding costs more than the rest of the frame
  const PrinterState& s = *state_;
  const bool code128 = symbology == Symbology::Code128 || symbology == Symbology::Gs1_128;
  const std::string text = code128 ? Code128Text(data) : std::string(data);
  ModuleMatrix matrix;
  const uint32_t area = AreaWidth();
  if (!EncodeSymbol(symbology, text, {}, matrix) || matrix.columns * s.barcodeModule > area) {
    PrintLabelledBox(area, kCodeBoxHeight, SymbologyName(symbology));
    return;
  }
  const BitmapFont& font = s.hriFontB ? FontB() : FontA();
  const bool above = s.hriPosition == HriPosition::Above || s.hriPosition == HriPosition::Both;
  const bool below = s.hriPosition == HriPosition::Below || s.hriPosition == HriPosition::Both;
  const uint32_t width = matrix.columns * s.barcodeModule;
  const uint32_t height = s.barcodeHeight + (above ? font.height : 0u) + (below ? font.height : 0u);
  if (!StartBand(width, height)) return;
  uint32_t y = y_;
  if (above) DrawCentredText(out_->paper, font, bandX_, y, width, text);
  if (above) y += font.height;
  matrix.rows = 1;  // one row of bars, as tall as GS h says
  DrawModules(out_->paper, bandX_, y, matrix, s.barcodeModule, s.barcodeHeight);
  if (below) DrawCentredText(out_->paper, font, bandX_, y + s.barcodeHeight, width, text);
  Feed(height);
}

void ReceiptRenderer::PrintTwoDimensional(Symbology symbology) {
  if (!drawing_) return;
  const PrinterState& s = *state_;
  const bool qr = symbology == Symbology::QrCode;
  const std::string& data = qr ? s.qrData : s.pdfData;
  if (data.empty()) return;  // nothing stored: the printer prints nothing
  const SymbolOptions options{qr ? s.qrErrorLevel : s.pdfErrorLevel, qr ? uint8_t{0} : s.pdfColumns};
  const uint32_t moduleWidth = qr ? s.qrModule : s.pdfModule;
  const uint32_t moduleHeight = qr ? s.qrModule : uint32_t{s.pdfModule} * s.pdfRowHeight;
  const ModuleMatrix* encoded = EncodeStored(symbology, data, options);
  if (encoded == nullptr || encoded->columns * moduleWidth > AreaWidth()) {
    PrintLabelledBox(qr ? kLogoHeight * 2 : AreaWidth(), qr ? kLogoHeight * 2 : kCodeBoxHeight,
                     SymbologyName(symbology));
    return;
  }
  const ModuleMatrix& matrix = *encoded;
  const uint32_t height = matrix.rows * moduleHeight;
  if (!StartBand(matrix.columns * moduleWidth, height)) return;
  DrawModules(out_->paper, bandX_, y_, matrix, moduleWidth, moduleHeight);
  Feed(height);
}

const ModuleMatrix* ReceiptRenderer::EncodeStored(Symbology symbology, const std::string& data,
                                                  const SymbolOptions& options) {
  EncodedCode& last = lastCode_;
  if (last.symbology != symbology || !(last.options == options) || last.data != data) {
    last.symbology = symbology;
    last.options = options;
    last.data = data;
    last.encoded = EncodeSymbol(symbology, data, options, last.matrix);
  }
  return last.encoded ? &last.matrix : nullptr;
}

void ReceiptRenderer::PrintLabelledBox(uint32_t width, uint32_t height, std::string_view label) {
  width = std::min(width, AreaWidth());
  if (!StartBand(width, height)) return;
  DrawLabelledBox(out_->paper, bandX_, y_, width, height, label);
  Feed(height);
}

void ReceiptRenderer::Cut(uint32_t feed) {
  PrintLine(0, feed);
  if (!drawing_) return;
  out_->cut = true;
  if (out_->paper.Extend(uint64_t{y_} + 1)) DrawCutLine(out_->paper, y_);
  ++y_;
  drawing_ = false;  // the paper ends here
}

void ReceiptRenderer::Initialize() {
  PrintLine(0);
  *state_ = PrinterState{};
  codePage_ = &DefaultCodePage();
}

uint32_t ReceiptRenderer::AreaLeft() const {
  return std::min(state_->leftMargin, settings_.widthDots - kMinWidth);
}

uint32_t ReceiptRenderer::AreaWidth() const {
  return std::min(state_->printWidth, settings_.widthDots - AreaLeft());
}

GlyphStyle ReceiptRenderer::Style() const {
  const PrinterState& s = *state_;
  GlyphStyle style;
  style.widthScale = s.widthScale;
  style.heightScale = s.heightScale;
  style.spacing = s.rightSpacing;
  style.underline = s.underline;
  style.bold = s.emphasized || s.doubleStrike;
  style.reverse = s.reverse;
  style.rotated = s.rotated;
  return style;
}

}  // namespace tavrik
