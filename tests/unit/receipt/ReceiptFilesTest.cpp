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

const std::filesystem::path kHere = std::filesystem::path(__FILE__).parent_path();

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

}  // namespace
}  // namespace tavrik
