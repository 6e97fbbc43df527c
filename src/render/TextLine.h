#pragma once
// The line a printer collects before it prints: characters and ESC * bit
// image columns, laid out left to right in the print area and printed all
// at once (at LF, a feed, or when the next one does not fit), bottom-aligned
// to the tallest, justified as ESC a says. Items refer to the frame's bytes
// and fonts; a line is printed before the frame it was filled from ends.
#include <cstdint>
#include <string_view>
#include <vector>

#include "render/Drawing.h"
#include "render/PrinterState.h"

namespace tavrik {

class TextLine {
 public:
  bool Empty() const { return items_.empty(); }
  uint32_t Width() const { return width_; }
  // True when something cell wide still fits in an area that wide, and
  // ESC $ has not drawn over the line more than kMaxOverdraw times: what a
  // line costs to draw stays within a multiple of the paper it takes.
  bool Fits(uint32_t cell, uint32_t areaWidth) const {
    return Empty() || (width_ + cell <= areaWidth && drawn_ + cell <= uint64_t{kMaxOverdraw} * areaWidth);
  }

  void AddGlyph(const BitmapFont& font, const uint16_t* rows, const GlyphStyle& style);
  // ESC * m: columns of columnBytes bytes each, MSB on top.
  void AddBitImage(std::string_view columns, uint8_t mode);
  // To a position (HT, ESC $): nothing drawn, nothing to print by itself.
  void MoveTo(uint32_t dots) { width_ = dots; }

  // Draws the line with its top at row y of the area [left, left + width)
  // and empties it; returns its height (0 for a line with nothing in it).
  uint32_t Print(PaperImage& paper, uint32_t y, uint32_t left, uint32_t width, Alignment alignment, bool upsideDown);
  // Empties the line without printing it: the paper has ended.
  void Clear();

 private:
  enum class Kind : uint8_t { Glyph, BitImage };
  struct Item {
    Kind kind = Kind::Glyph;
    uint32_t x = 0;
    uint32_t height = 0;
    const BitmapFont* font = nullptr;
    const uint16_t* rows = nullptr;
    GlyphStyle style;
    std::string_view columns;
    uint8_t mode = 0;
  };

  static void DrawBitImage(PaperImage& paper, int64_t x, int64_t y, const Item& item);

  static constexpr uint32_t kMaxOverdraw = 4;

  std::vector<Item> items_;
  uint64_t drawn_ = 0;  // the items' widths together
  uint32_t width_ = 0;
  uint32_t height_ = 0;
};

}  // namespace tavrik
