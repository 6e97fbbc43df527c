#pragma once
// A page to read text from: one bit per dot, rows top to bottom, each row
// (width + 7) / 8 bytes with the leftmost dot in the high bit; 1 is a
// printed (black) dot, as the printer's own image data has it.
#include <cstdint>
#include <vector>

namespace tavrik {

struct PageImage {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> bits;

  uint32_t RowBytes() const { return (width + 7) / 8; }
  bool Empty() const { return width == 0 || height == 0; }
};

}  // namespace tavrik
