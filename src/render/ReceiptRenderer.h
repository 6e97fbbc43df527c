#pragma once
// Draws what a receipt printer prints for one frame: the paper as a 1-bit
// image, from the printer state the frame starts in, which it leaves as the
// printer would be after it (see PrinterState). Text in the code page ESC t
// selects, print modes, layout and feeds, images, bar codes and 2-D codes;
// a cut draws a cut line and ends the image (later commands still change
// the state). A command the frame ends inside is dropped.
//
// Pure: no I/O, never throws on any input; time linear in the frame, memory
// within the image's bound (kMaxRows rows) and the state's.
#include <cstdint>
#include <string>
#include <string_view>

#include "receipt/CodePages.h"
#include "render/CodeSymbol.h"
#include "render/PaperImage.h"
#include "render/PrinterState.h"
#include "render/TextLine.h"

namespace tavrik {

struct RenderSettings {
  uint32_t widthDots = 576;  // 80 mm paper at 203 dpi; 384 for 58 mm
  uint32_t maxRows = 20000;  // 2.5 m of paper: past it the image ends, Truncated()
};

struct RenderedReceipt {
  PaperImage paper;
  bool cut = false;
};

class ReceiptRenderer {
 public:
  // No paper is narrower than a character nor wider than a printer's head.
  static constexpr uint32_t kMinWidth = 64;
  static constexpr uint32_t kMaxRows = 20000;

  explicit ReceiptRenderer(RenderSettings settings);

  RenderedReceipt Render(std::string_view frame, PrinterState& state);
  // What Render leaves in state, without drawing: for a frame whose picture
  // nobody asked for.
  void Advance(std::string_view frame, PrinterState& state);

 private:
  void Run(std::string_view frame, PrinterState& state, RenderedReceipt& out, bool draw);
  void RunCommand(std::string_view command);
  void RunEsc(std::string_view command);
  void RunGs(std::string_view command);
  void RunBlock(std::string_view command, size_t header);
  void RunCodeBlock(std::string_view command);
  void RunGraphicsBlock(std::string_view command, size_t header);
  void AddCharacter(char16_t c);
  void Tab();
  // Prints the line and feeds: `lines` line spacings (the first at least the
  // line's height), or with lines = 0, `dots` beyond it.
  void PrintLine(uint32_t lines, uint32_t dots = 0);
  void Feed(uint64_t dots);
  // Starts a band the width of `width` dots (justified) and `height` rows
  // tall; false when nothing is to be drawn. Sets bandX_.
  bool StartBand(uint32_t width, uint32_t height);
  void PrintRows(const BitRows& rows, uint8_t widthScale, uint8_t heightScale);
  void PrintStored(const StoredImage& image, uint8_t widthScale, uint8_t heightScale);
  void PrintBarcode(Symbology symbology, std::string_view data);
  void PrintTwoDimensional(Symbology symbology);
  // The matrix of a stored 2-D code; null when it cannot be encoded.
  const ModuleMatrix* EncodeStored(Symbology symbology, const std::string& data, const SymbolOptions& options);
  void PrintLabelledBox(uint32_t width, uint32_t height, std::string_view label);
  void Cut(uint32_t feed);
  void Initialize();
  uint32_t AreaLeft() const;
  uint32_t AreaWidth() const;
  GlyphStyle Style() const;

  // The last 2-D code encoded: printed again and again (a frame of nothing
  // but GS ( k fn 81), a stored code costs its drawing only, not its encoding.
  struct EncodedCode {
    Symbology symbology = Symbology::QrCode;
    SymbolOptions options;
    std::string data;
    bool encoded = false;
    ModuleMatrix matrix;
  };

  RenderSettings settings_;
  EncodedCode lastCode_;
  PrinterState* state_ = nullptr;
  RenderedReceipt* out_ = nullptr;
  const CodePage* codePage_ = nullptr;
  TextLine line_;
  uint32_t y_ = 0;
  uint32_t bandX_ = 0;
  bool drawing_ = true;
};

}  // namespace tavrik
