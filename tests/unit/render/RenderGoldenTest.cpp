// Receipts of every style group, drawn pixel for pixel as the PNGs in
// tests/golden (checked by eye when made). TAVRIK_UPDATE_GOLDEN=1 rewrites
// them from the renderer instead; look at them before committing.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "png/PngWriter.h"
#include "render/ReceiptRenderer.h"

namespace tavrik {
namespace {

using namespace std::string_literals;

struct GoldenCase {
  const char* name;
  std::string bytes;
};

std::string GoldenPath(const char* name) { return std::string(TAVRIK_SOURCE_DIR) + "/tests/golden/" + name + ".png"; }

// The PNG's pixels, one byte each (0 = black), or empty if it cannot be read.
std::vector<uint8_t> ReadGray(const std::string& path, uint32_t& width, uint32_t& height) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  std::vector<uint8_t> pixels;
  if (png_image_begin_read_from_file(&image, path.c_str()) == 0) return pixels;
  image.format = PNG_FORMAT_GRAY;
  pixels.resize(PNG_IMAGE_SIZE(image));
  if (png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) == 0) pixels.clear();
  width = image.width;
  height = image.height;
  return pixels;
}

std::string Raster(uint8_t rowBytes, uint8_t rows, uint8_t scale, uint8_t pattern) {
  std::string bytes = "\x1dv0"s + static_cast<char>(scale) + static_cast<char>(rowBytes) + '\0' +
                      static_cast<char>(rows) + '\0';
  for (int i = 0; i < rowBytes * rows; ++i) bytes += static_cast<char>(i % 2 == 0 ? pattern : ~pattern);
  return bytes;
}

const std::vector<GoldenCase>& Cases() {
  static const std::vector<GoldenCase> cases{
      {"text_styles",
       "Font A \x1bM\x01" "Font B\x1bM\x00\n\x1b" "E\x01" "Bold\x1b" "E\x00 \x1b!\x30" "2x2\x1b!\x00 \x1d!\x32" "3x3"
       "\x1d!\x00\n\x1b-\x01Under 1\x1b-\x02 Under 2\x1b-\x00\n\x1d" "B\x01 Reverse \x1d" "B\x00 \x1bt\x13"
       "Caf\x82 \xd5 \x1bt\x32\xc7\n\x1b{\x01" "Upside down\n\x1b{\x00\x1bV\x01" "Turned\x1bV\x00\n\x1b \x06Spaced\n"s},
      {"layout",
       "\x1b" "a\x01" "Centred\n\x1b" "a\x02" "Right\n\x1b" "a\x00\x1dL\x30\x00" "Margin 48\n\x1dW\xc0\x00"
       "Print width 192 wraps here\n\x1dL\x00\x00\x1dW\x80\x01" "A\tB\tC\n\x1b\x33\x40" "Spacing 64\n\x1b\x32"
       "Fed 3 lines\x1b" "d\x03" "Fed 40 dots\x1bJ\x28" "End\n"s},
      {"images",
       "\x1b*\x21\x08\x00"s + std::string(24, '\x55') + "\x1b*\x00\x04\x00\xff\x81\x81\xff\x1b*\x01\x04\x00\xff\x81\x81\xff"s +
           "\x1b*\x20\x04\x00"s + std::string(12, '\xf0') + " text\n"s +
           Raster(4, 16, 0, 0xF0) + Raster(2, 8, 3, 0xCC) +
           "\x1d(L\x12\x00" "0p0\x01\x01" "1\x10\x00\x04\x00\xff\xff\x81\x81\xff\xff\x81\x81\x1d(L\x02\x00" "02"
           "\x1d*\x02\x01"s + std::string(16, '\x3c') + "\x1d/\x00\x1cp\x01\x00"s},
      {"codes",
       "\x1dh\x30\x1dw\x02\x1dH\x02\x1dkI\x0a{BTAV-4201\x1b" "a\x01\x1dk\x02" "4006381333931\0\x1dH\x00\x1dk\x04"
       "TAVRIK\0"
       "\x1d(k\x03\x00" "1C\x04\x1d(k\x0e\x00" "1P0HELLO-QR-42\x1d(k\x03\x00" "1Q0"
       "\x1d(k\x03\x00" "0C\x02\x1d(k\x0a\x00" "0P0PDF-417\x1d(k\x03\x00" "0Q0"
       "\x1dh\x20\x1dH\x02\x1dk\x41\x0b" "03600029145\x1dk\x42\x07" "0123456\x1dk\x44\x07" "9638507"
       "\x1dk\x46\x06" "123456\x1dk\x47\x06" "A1234B\x1dk\x48\x05" "TAV93"s},
      {"cut", "Before the cut\n\x1dV\x41\x10" "After the cut\n"s},
  };
  return cases;
}

class RenderGoldenTest : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(RenderGoldenTest, DrawsTheGoldenImage) {
  const GoldenCase& golden = GetParam();
  PrinterState state;
  const RenderedReceipt rendered = ReceiptRenderer({384, 20000}).Render(golden.bytes, state);
  const PaperImage& paper = rendered.paper;
  if (std::getenv("TAVRIK_UPDATE_GOLDEN") != nullptr) {
    std::string png;
    ASSERT_TRUE(PngWriter::Write(paper, png));
    std::ofstream(GoldenPath(golden.name), std::ios::binary) << png;
  }
  uint32_t width = 0;
  uint32_t height = 0;
  const std::vector<uint8_t> pixels = ReadGray(GoldenPath(golden.name), width, height);
  ASSERT_FALSE(pixels.empty()) << GoldenPath(golden.name);
  ASSERT_EQ(width, paper.Width());
  ASSERT_EQ(height, paper.Height());
  size_t differing = 0;
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x) differing += paper.Dot(x, y) != (pixels[size_t{y} * width + x] == 0);
  EXPECT_EQ(differing, 0u);
}

INSTANTIATE_TEST_SUITE_P(StyleGroups, RenderGoldenTest, ::testing::ValuesIn(Cases()),
                         [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace tavrik
