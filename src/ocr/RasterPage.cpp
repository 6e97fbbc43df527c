#include "ocr/RasterPage.h"

#include <algorithm>
#include <string_view>

namespace tavrik {
namespace {

struct Scale {
  uint32_t x = 1;
  uint32_t y = 1;
};

Scale ScaleOf(const Raster& raster) {
  switch (raster.kind) {
    case RasterKind::BitImage:
      // m = 0, 32: double density across; 1, 33: single. 8-dot bands print
      // their dots twice as high as 24-dot ones.
      return {(raster.mode & 1) ? 1u : 2u, raster.mode < 32 ? 3u : 1u};
    case RasterKind::RasterImage:
    case RasterKind::Graphics: return {(raster.mode & 1) ? 2u : 1u, (raster.mode & 2) ? 2u : 1u};
    case RasterKind::DownloadedImage: return {};
  }
  return {};
}

// Whether the image's own dot (x, y) is printed.
bool Dot(const Raster& raster, std::string_view bits, uint32_t x, uint32_t y) {
  size_t index = 0;
  unsigned bit = 0;
  switch (raster.kind) {
    case RasterKind::RasterImage:
    case RasterKind::Graphics:
      index = size_t{y} * ((raster.widthDots + 7) / 8) + x / 8;
      bit = 7 - x % 8;
      break;
    case RasterKind::BitImage:
    case RasterKind::DownloadedImage:
      index = size_t{x} * (raster.heightDots / 8) + y / 8;
      bit = 7 - y % 8;
      break;
  }
  return index < bits.size() && (static_cast<unsigned char>(bits[index]) >> bit) & 1;
}

}  // namespace

PageImage RasterPage(const ReceiptFacts& facts) {
  PageImage page;
  for (const Raster& raster : facts.rasters) {
    const Scale scale = ScaleOf(raster);
    page.width = std::max(page.width, std::min(raster.widthDots * scale.x, kPageMaxWidth));
  }
  const uint32_t rowBytes = page.RowBytes();
  for (const Raster& raster : facts.rasters) {
    const Scale scale = ScaleOf(raster);
    const std::string_view bits = facts.BitsOf(raster);
    const uint32_t width = std::min(raster.widthDots * scale.x, page.width);
    for (uint32_t y = 0; y < raster.heightDots * scale.y && page.height < kPageMaxHeight; ++y) {
      page.bits.resize(page.bits.size() + rowBytes);
      uint8_t* row = page.bits.data() + size_t{page.height} * rowBytes;
      for (uint32_t x = 0; x < width; ++x) {
        if (Dot(raster, bits, x / scale.x, y / scale.y)) row[x / 8] = static_cast<uint8_t>(row[x / 8] | (0x80u >> (x % 8)));
      }
      ++page.height;
    }
  }
  if (page.height == 0) page.width = 0;
  return page;
}

}  // namespace tavrik
