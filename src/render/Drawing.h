#pragma once
// Drawing on the paper: 1-bit images, code modules, glyphs, labelled boxes
// and the cut line. Positions are the top-left corner in dots; whatever
// falls outside the image is clipped.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "render/BitmapFont.h"
#include "render/CodeSymbol.h"
#include "render/PaperImage.h"

namespace tavrik {

// Rows of bits, MSB leftmost, 1 = black, as GS v 0 and the print buffer hold them.
struct BitRows {
  const uint8_t* data = nullptr;
  uint32_t width = 0;
  uint32_t height = 0;
  size_t rowBytes = 0;
};

struct GlyphStyle {
  uint8_t widthScale = 1;
  uint8_t heightScale = 1;
  uint8_t spacing = 0;  // dots right of the glyph, before scaling
  uint8_t underline = 0;
  bool bold = false;
  bool reverse = false;
  bool rotated = false;  // 90 degrees clockwise
};

// The cell a glyph of font takes in style: width and height in dots.
uint32_t CellWidth(const BitmapFont& font, const GlyphStyle& style);
uint32_t CellHeight(const BitmapFont& font, const GlyphStyle& style);

void DrawRows(PaperImage& paper, int64_t x, int64_t y, const BitRows& rows, uint8_t widthScale, uint8_t heightScale);
void DrawModules(PaperImage& paper, int64_t x, int64_t y, const ModuleMatrix& matrix, uint32_t moduleWidth,
                 uint32_t moduleHeight);
// rows == nullptr (no glyph in the font) draws the replacement box.
void DrawGlyph(PaperImage& paper, const BitmapFont& font, const uint16_t* rows, int64_t x, int64_t y,
               const GlyphStyle& style);
// Plain ASCII in font, centred in width.
void DrawCentredText(PaperImage& paper, const BitmapFont& font, int64_t x, int64_t y, uint32_t width,
                     std::string_view text);
// What the renderer cannot draw (a stored logo, a code it cannot encode): a
// frame with a name in it.
void DrawLabelledBox(PaperImage& paper, int64_t x, int64_t y, uint32_t width, uint32_t height,
                     std::string_view label);
// A dashed line across the paper where it was cut.
void DrawCutLine(PaperImage& paper, int64_t y);

}  // namespace tavrik
