#include "render/TextLine.h"

#include <algorithm>

#include "escpos/CommandLengths.h"

namespace tavrik {
namespace {

// ESC * m at this printer's 203 dpi: single density (m = 0, 32) doubles each
// column; 8-dot modes (m = 0, 1) print each dot 3 rows high, so every mode
// fills a 24-row band.
constexpr uint32_t kBitImageRows = 24;
uint32_t ColumnWidth(uint8_t mode) { return mode == 0 || mode == 32 ? 2 : 1; }

}  // namespace

void TextLine::AddGlyph(const BitmapFont& font, const uint16_t* rows, const GlyphStyle& style) {
  Item item;
  item.x = width_;
  item.height = CellHeight(font, style);
  item.font = &font;
  item.rows = rows;
  item.style = style;
  items_.push_back(item);
  width_ += CellWidth(font, style);
  drawn_ += CellWidth(font, style);
  height_ = std::max(height_, item.height);
}

void TextLine::AddBitImage(std::string_view columns, uint8_t mode) {
  Item item;
  item.kind = Kind::BitImage;
  item.x = width_;
  item.height = kBitImageRows;
  item.columns = columns;
  item.mode = mode;
  items_.push_back(item);
  const uint32_t width = static_cast<uint32_t>(columns.size() / BitImageColumnBytes(mode)) * ColumnWidth(mode);
  width_ += width;
  drawn_ += width;
  height_ = std::max(height_, kBitImageRows);
}

void TextLine::DrawBitImage(PaperImage& paper, int64_t x, int64_t y, const Item& item) {
  const uint8_t columnBytes = BitImageColumnBytes(item.mode);
  const uint32_t dotWidth = ColumnWidth(item.mode);
  const uint32_t dotHeight = columnBytes == 1 ? 3 : 1;
  const size_t columns = item.columns.size() / columnBytes;
  for (size_t column = 0; column < columns; ++column) {
    for (uint32_t byte = 0; byte < columnBytes; ++byte) {
      const auto bits = static_cast<uint8_t>(item.columns[column * columnBytes + byte]);
      for (uint32_t bit = 0; bit < 8; ++bit)
        if ((bits >> (7 - bit) & 1) != 0)
          paper.Fill(x + static_cast<int64_t>(column * dotWidth), y + int64_t{8 * byte + bit} * dotHeight, dotWidth,
                     dotHeight, true);
    }
  }
}

uint32_t TextLine::Print(PaperImage& paper, uint32_t y, uint32_t left, uint32_t width, Alignment alignment,
                         bool upsideDown) {
  const uint32_t height = height_;
  if (!items_.empty() && paper.Extend(uint64_t{y} + height)) {
    const uint32_t spare = width > width_ ? width - width_ : 0;
    const uint32_t start = left + (alignment == Alignment::Center ? spare / 2 : alignment == Alignment::Right ? spare : 0);
    for (const Item& item : items_) {
      const int64_t x = int64_t{start} + item.x;
      const int64_t top = int64_t{y} + height - item.height;
      if (item.kind == Kind::Glyph) {
        DrawGlyph(paper, *item.font, item.rows, x, top, item.style);
      } else {
        DrawBitImage(paper, x, top, item);
      }
    }
    if (upsideDown) paper.Rotate180(left, y, width, height);
  }
  Clear();
  return height;
}

void TextLine::Clear() {
  items_.clear();
  drawn_ = 0;
  width_ = 0;
  height_ = 0;
}

}  // namespace tavrik
