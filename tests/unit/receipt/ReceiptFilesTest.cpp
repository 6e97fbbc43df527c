// Whole receipts: the demo's, and ones a real encoder library wrote
// (data/make_receipts.js).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "receipt/ReceiptDecoder.h"

namespace tavrik {
namespace {

const std::filesystem::path kHere = std::filesystem::path(TAVRIK_SOURCE_DIR) / "tests/unit/receipt";

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  EXPECT_TRUE(file) << path;
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

ReceiptText DecodeFile(const std::filesystem::path& path) {
  ReceiptDecoder decoder;
  ReceiptText text;
  decoder.Decode(ReadFile(path), text);
  return text;
}

TEST(ReceiptFilesTest, DemoReceiptsDecodeToTheirLines) {
  const ReceiptText text = DecodeFile(kHere / "../../../demo/receipts/receipt1.prn");
  EXPECT_TRUE(text.cut);
  EXPECT_EQ(Lines(text.text), (std::vector<std::string>{
                                  "CORNER BAKERY", "Receipt 1001", std::string(32, '-'),
                                  "Sourdough loaf              4.20", "Croissant x2                3.60",
                                  "Flat white                  3.10", std::string(32, '-'),
                                  "TOTAL                      10.90", "", "Thank you!", "", ""}));
  for (const char* name : {"receipt2.prn", "receipt3.prn", "receipt4.prn"}) {
    const ReceiptText other = DecodeFile(kHere / "../../../demo/receipts" / name);
    EXPECT_TRUE(other.cut) << name;
    EXPECT_EQ(Lines(other.text).at(1).substr(0, 8), "Receipt ") << name;
    EXPECT_EQ(other.text.find_first_of("\x1b\x1d\r\t"), std::string::npos) << name;
  }
}

TEST(ReceiptFilesTest, EncoderLibraryReceiptWithLogoBarcodeAndEuro) {
  const ReceiptText text = DecodeFile(kHere / "data/cafe.prn");
  EXPECT_TRUE(text.cut);
  std::string rule;
  for (int i = 0; i < 42; ++i) rule += "─";
  // The library feeds a line behind the logo.
  EXPECT_EQ(Lines(text.text), (std::vector<std::string>{
                                  "", std::string(15, ' ') + "CAFÉ BRÜCKE", std::string(15, ' ') + "Receipt 2041", rule,
                                  "Espresso" + std::string(28, ' ') + "2,40 €",
                                  "Apfelstrudel" + std::string(24, ' ') + "4,90 €",
                                  "Total" + std::string(31, ' ') + "7,30 €", rule, "", "", "Danke!", ""}));
}

TEST(ReceiptFilesTest, EncoderLibraryReceiptWithCodePagesAndQrCode) {
  const ReceiptText text = DecodeFile(kHere / "data/kiosk.prn");
  EXPECT_TRUE(text.cut);
  EXPECT_EQ(text.text, "Квитанция 7\nZażółć gęślą jaźń\n\nEnde\n\n");
}

TEST(ReceiptFilesTest, EncoderLibraryReceiptWithEveryKindOfFact) {
  const ReceiptText text = DecodeFile(kHere / "data/shop.prn");
  EXPECT_TRUE(text.cut);
  EXPECT_TRUE(text.facts.visibleText);
  EXPECT_EQ(text.text, "\nShop 12\nTOTAL 9.99\n\n\n\n\n\n");  // the library feeds a line behind the logo, each code and the pulse
  const ReceiptFacts& facts = text.facts;
  ASSERT_EQ(facts.rasters.size(), 1u);
  const Raster& logo = facts.rasters[0];
  EXPECT_EQ(logo.kind, RasterKind::RasterImage);
  EXPECT_EQ(logo.widthDots, 48u);
  EXPECT_EQ(logo.heightDots, 16u);
  std::string bits(48 / 8 * 16, '\0');
  for (size_t y = 0; y < 16; ++y)
    for (size_t x = 0; x < 48; ++x)
      if ((x + 2 * y) % 5 == 0) bits[y * 6 + x / 8] = static_cast<char>(bits[y * 6 + x / 8] | 0x80 >> (x % 8));
  EXPECT_EQ(facts.BitsOf(logo), bits);
  ASSERT_EQ(facts.codes.size(), 3u);
  EXPECT_EQ(SymbologyName(facts.codes[0].symbology), "CODE128");
  EXPECT_EQ(facts.DataOf(facts.codes[0]), "{BR-0042");
  EXPECT_EQ(SymbologyName(facts.codes[1].symbology), "QR");
  EXPECT_EQ(facts.DataOf(facts.codes[1]), "https://example.com/r/42");
  EXPECT_EQ(SymbologyName(facts.codes[2].symbology), "PDF417");
  EXPECT_EQ(facts.DataOf(facts.codes[2]), "TILL 3 RECEIPT 42");
  ASSERT_EQ(facts.drawerPulses.size(), 1u);
  EXPECT_EQ(facts.drawerPulses[0].pin, 2);
  EXPECT_EQ(facts.drawerPulses[0].onMs, 100u);
  EXPECT_EQ(facts.drawerPulses[0].offMs, 500u);
  // The other receipts' codes and logo.
  const ReceiptText cafe = DecodeFile(kHere / "data/cafe.prn");
  ASSERT_EQ(cafe.facts.codes.size(), 1u);
  EXPECT_EQ(cafe.facts.DataOf(cafe.facts.codes[0]), "4006381333931");
  ASSERT_EQ(cafe.facts.rasters.size(), 1u);
  EXPECT_EQ(cafe.facts.BitsOf(cafe.facts.rasters[0]).substr(0, 4), "\n\x1b\x1dV");
  const ReceiptText kiosk = DecodeFile(kHere / "data/kiosk.prn");
  ASSERT_EQ(kiosk.facts.codes.size(), 1u);
  EXPECT_EQ(kiosk.facts.DataOf(kiosk.facts.codes[0]), "https://example.com/r/7");
}

}  // namespace
}  // namespace tavrik
