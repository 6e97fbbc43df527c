#include "render/PaperImage.h"

#include <algorithm>

namespace tavrik {

PaperImage::PaperImage(uint32_t width, uint32_t maxRows)
    : width_(width), maxRows_(maxRows), rowBytes_((width + 7u) / 8u) {}

bool PaperImage::Dot(uint32_t x, uint32_t y) const {
  return x < width_ && y < height_ && (Row(y)[x / 8] >> (7 - x % 8) & 1) != 0;
}

bool PaperImage::Extend(uint64_t rows) {
  if (rows <= height_) return true;
  if (rows > maxRows_) {
    truncated_ = true;
    rows = maxRows_;
  }
  height_ = static_cast<uint32_t>(rows);
  bits_.resize(height_ * rowBytes_);
  return !truncated_;
}

void PaperImage::Set(int64_t x, int64_t y, bool black) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  uint8_t& byte = bits_[static_cast<size_t>(y) * rowBytes_ + static_cast<size_t>(x) / 8];
  const auto bit = static_cast<uint8_t>(0x80u >> (x % 8));
  byte = black ? static_cast<uint8_t>(byte | bit) : static_cast<uint8_t>(byte & ~bit);
}

void PaperImage::Fill(int64_t x, int64_t y, int64_t width, int64_t height, bool black) {
  const int64_t left = std::max<int64_t>(x, 0);
  const int64_t right = std::min<int64_t>(x + width, width_);
  const int64_t top = std::max<int64_t>(y, 0);
  const int64_t bottom = std::min<int64_t>(y + height, height_);
  for (int64_t row = top; row < bottom; ++row)
    for (int64_t column = left; column < right; ++column) Set(column, row, black);
}

void PaperImage::Rotate180(uint32_t x, uint32_t y, uint32_t width, uint32_t height) {
  width = std::min(width, width_ > x ? width_ - x : 0);
  height = std::min(height, height_ > y ? height_ - y : 0);
  const uint64_t dots = uint64_t{width} * height;
  for (uint64_t i = 0; i < dots / 2; ++i) {  // dot i swaps with the one as far from the far corner
    const uint64_t j = dots - 1 - i;
    const auto ax = static_cast<uint32_t>(x + i % width), ay = static_cast<uint32_t>(y + i / width);
    const auto bx = static_cast<uint32_t>(x + j % width), by = static_cast<uint32_t>(y + j / width);
    const bool a = Dot(ax, ay);
    Set(ax, ay, Dot(bx, by));
    Set(bx, by, a);
  }
}

}  // namespace tavrik
