#include "ocr/RasterPage.h"

#include <gtest/gtest.h>

namespace tavrik {
namespace {

void Add(ReceiptFacts& facts, RasterKind kind, uint8_t mode, uint32_t width, uint32_t height, std::string bits) {
  Raster raster;
  raster.kind = kind;
  raster.mode = mode;
  raster.widthDots = width;
  raster.heightDots = height;
  raster.dataOffset = facts.data.size();
  raster.dataSize = bits.size();
  facts.data += bits;
  facts.rasters.push_back(raster);
}

// Every layout gives the same picture: an 8 × 8 image whose first row and
// first column are printed, seen as rows (GS v 0) and as columns (GS *).
// Images stack top to bottom; a mode's doubling doubles the dots.
TEST(RasterPageTest, LayoutsAndModesGiveThePaperPicture) {
  const std::string rows = "\xFF\x80\x80\x80\x80\x80\x80\x80";
  const std::string columns = "\xFF\x80\x80\x80\x80\x80\x80\x80";  // the same bits, column by column
  ReceiptFacts facts;
  Add(facts, RasterKind::RasterImage, 0, 8, 8, rows);
  Add(facts, RasterKind::DownloadedImage, 0, 8, 8, columns);
  Add(facts, RasterKind::RasterImage, 3, 8, 8, rows);  // double width and height
  const PageImage page = RasterPage(facts);
  ASSERT_EQ(page.width, 16u);
  ASSERT_EQ(page.height, 32u);
  for (uint32_t y = 0; y < 16; ++y) {
    const uint8_t expected = (y % 8 == 0) ? 0xFF : 0x80;
    EXPECT_EQ(page.bits[y * 2], expected) << "row " << y;
    EXPECT_EQ(page.bits[y * 2 + 1], 0) << "row " << y;
  }
  for (uint32_t y = 16; y < 32; ++y) {
    EXPECT_EQ(page.bits[y * 2], y < 18 ? 0xFF : 0xC0) << "row " << y;
    EXPECT_EQ(page.bits[y * 2 + 1], y < 18 ? 0xFF : 0x00) << "row " << y;
  }
}

// ESC * 24-dot double density: a column is 3 bytes, top dot in the high bit.
TEST(RasterPageTest, BitImageBandsAndTheHeightBound) {
  ReceiptFacts facts;
  Add(facts, RasterKind::BitImage, 33, 2, 24, std::string("\x80\x00\x01\x00\x00\x00", 6));
  const PageImage band = RasterPage(facts);
  ASSERT_EQ(band.width, 2u);
  ASSERT_EQ(band.height, 24u);
  EXPECT_EQ(band.bits[0], 0x80);
  EXPECT_EQ(band.bits[23], 0x80);
  EXPECT_EQ(band.bits[1], 0x00);

  ReceiptFacts tall;
  Add(tall, RasterKind::RasterImage, 0, 8, 16000, std::string(16000, '\x01'));
  EXPECT_EQ(RasterPage(tall).height, kPageMaxHeight);
  EXPECT_TRUE(RasterPage(ReceiptFacts{}).Empty());
}

}  // namespace
}  // namespace tavrik
