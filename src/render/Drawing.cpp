#include "render/Drawing.h"

#include <algorithm>

namespace tavrik {
namespace {

constexpr uint32_t kBoxLine = 2;
constexpr int64_t kDash = 8;

bool GlyphDot(const BitmapFont& font, const uint16_t* rows, uint32_t gx, uint32_t gy) {
  return (rows[gy] >> (font.width - 1u - gx) & 1u) != 0;
}

void DrawOutline(PaperImage& paper, int64_t x, int64_t y, int64_t width, int64_t height, int64_t line) {
  paper.Fill(x, y, width, line, true);
  paper.Fill(x, y + height - line, width, line, true);
  paper.Fill(x, y, line, height, true);
  paper.Fill(x + width - line, y, line, height, true);
}

}  // namespace

uint32_t CellWidth(const BitmapFont& font, const GlyphStyle& style) {
  return (uint32_t{style.rotated ? font.height : font.width} + style.spacing) * style.widthScale;
}

uint32_t CellHeight(const BitmapFont& font, const GlyphStyle& style) {
  return uint32_t{style.rotated ? font.width : font.height} * style.heightScale;
}

void DrawRows(PaperImage& paper, int64_t x, int64_t y, const BitRows& rows, uint8_t widthScale, uint8_t heightScale) {
  for (uint32_t row = 0; row < rows.height; ++row) {
    const uint8_t* bits = rows.data + row * rows.rowBytes;
    for (uint32_t byte = 0; byte < rows.rowBytes; ++byte) {
      if (bits[byte] == 0) continue;
      for (uint32_t bit = 0; bit < 8; ++bit) {
        const uint32_t column = 8 * byte + bit;
        if (column >= rows.width || (bits[byte] >> (7 - bit) & 1) == 0) continue;
        paper.Fill(x + int64_t{column} * widthScale, y + int64_t{row} * heightScale, widthScale, heightScale, true);
      }
    }
  }
}

void DrawModules(PaperImage& paper, int64_t x, int64_t y, const ModuleMatrix& matrix, uint32_t moduleWidth,
                 uint32_t moduleHeight) {
  for (uint32_t row = 0; row < matrix.rows; ++row)
    for (uint32_t column = 0; column < matrix.columns; ++column)
      if (matrix.Dark(row, column))
        paper.Fill(x + int64_t{column} * moduleWidth, y + int64_t{row} * moduleHeight, moduleWidth, moduleHeight, true);
}

void DrawGlyph(PaperImage& paper, const BitmapFont& font, const uint16_t* rows, int64_t x, int64_t y,
               const GlyphStyle& style) {
  const int64_t cellWidth = CellWidth(font, style);
  const int64_t cellHeight = CellHeight(font, style);
  const bool ink = !style.reverse;
  if (style.reverse) paper.Fill(x, y, cellWidth, cellHeight, true);
  if (rows == nullptr) {  // the replacement box: a frame inside the glyph's cell
    const int64_t inset = 2 * style.widthScale;
    DrawOutline(paper, x + inset, y + inset, int64_t{font.width} * style.widthScale - 2 * inset,
                cellHeight - 2 * inset, style.widthScale);
    return;
  }
  for (uint32_t gy = 0; gy < font.height; ++gy) {
    if (rows[gy] == 0) continue;
    for (uint32_t gx = 0; gx < font.width; ++gx) {
      if (!GlyphDot(font, rows, gx, gy)) continue;
      // Turned clockwise, the glyph's left column becomes its top row.
      const int64_t cx = style.rotated ? int64_t{font.height} - 1 - gy : int64_t{gx};
      const int64_t cy = style.rotated ? int64_t{gx} : int64_t{gy};
      const int64_t px = x + cx * style.widthScale;
      const int64_t py = y + cy * style.heightScale;
      paper.Fill(px, py, style.widthScale, style.heightScale, ink);
      if (style.bold) paper.Fill(px + 1, py, style.widthScale, style.heightScale, ink);
    }
  }
  if (style.underline > 0 && !style.reverse) paper.Fill(x, y + cellHeight - style.underline, cellWidth, style.underline, true);
}

void DrawCentredText(PaperImage& paper, const BitmapFont& font, int64_t x, int64_t y, uint32_t width,
                     std::string_view text) {
  const int64_t textWidth = int64_t{font.width} * static_cast<int64_t>(text.size());
  int64_t at = x + (int64_t{width} - textWidth) / 2;
  for (const char c : text) {
    DrawGlyph(paper, font, font.Find(static_cast<char16_t>(static_cast<uint8_t>(c))), at, y, {});
    at += font.width;
  }
}

void DrawLabelledBox(PaperImage& paper, int64_t x, int64_t y, uint32_t width, uint32_t height,
                     std::string_view label) {
  DrawOutline(paper, x, y, width, height, kBoxLine);
  const BitmapFont& font = FontA();
  const auto fit = static_cast<size_t>(width > 2 * kBoxLine ? (width - 2 * kBoxLine) / font.width : 0);
  if (height >= font.height + 2 * kBoxLine)
    DrawCentredText(paper, font, x, y + (int64_t{height} - font.height) / 2, width, label.substr(0, fit));
}

void DrawCutLine(PaperImage& paper, int64_t y) {
  for (int64_t x = 0; x < paper.Width(); x += 2 * kDash) paper.Fill(x, y, kDash, 1, true);
}

}  // namespace tavrik
