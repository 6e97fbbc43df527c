#pragma once
// The paper a receipt is printed on, as a 1-bit image: rows of Width() dots,
// MSB leftmost, 1 = black. It grows downwards as the printer feeds, up to a
// bound; past it nothing more is drawn and Truncated() says so.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tavrik {

class PaperImage {
 public:
  PaperImage(uint32_t width, uint32_t maxRows);

  uint32_t Width() const { return width_; }
  uint32_t Height() const { return height_; }
  size_t RowBytes() const { return rowBytes_; }
  const uint8_t* Row(uint32_t y) const { return bits_.data() + y * rowBytes_; }
  bool Dot(uint32_t x, uint32_t y) const;
  // Rows past the bound were asked for: the image ends there.
  bool Truncated() const { return truncated_; }

  // Makes the image at least `rows` tall (blank rows); false past the bound.
  bool Extend(uint64_t rows);
  // Dots outside the image are left alone: the caller extends it first.
  void Set(int64_t x, int64_t y, bool black);
  void Fill(int64_t x, int64_t y, int64_t width, int64_t height, bool black);
  // Turns the rectangle (within the image) half round: upside-down printing.
  void Rotate180(uint32_t x, uint32_t y, uint32_t width, uint32_t height);

 private:
  uint32_t width_;
  uint32_t maxRows_;
  size_t rowBytes_;
  uint32_t height_ = 0;
  bool truncated_ = false;
  std::vector<uint8_t> bits_;
};

}  // namespace tavrik
