#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "ocr/TextRecognizer.h"

namespace tavrik {
namespace {

// A PBM (P4) file: the same bit layout as a page.
PageImage LoadPbm(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  in >> magic;
  auto number = [&in] {
    in >> std::ws;
    while (in.peek() == '#') {
      std::string comment;
      std::getline(in, comment);
      in >> std::ws;
    }
    uint32_t value = 0;
    in >> value;
    return value;
  };
  PageImage page;
  page.width = number();
  page.height = number();
  in.get();
  page.bits.assign(std::istreambuf_iterator<char>(in), {});
  EXPECT_EQ(magic, "P4");
  EXPECT_EQ(page.bits.size(), size_t{page.RowBytes()} * page.height);
  return page;
}

// A receipt printed as an image (Courier at 203 dpi, as the POS would draw
// it) reads back as its lines.
TEST(TesseractRecognizerTest, ReadsAReceiptPrintedAsAnImage) {
  if (!TextRecognitionAvailable()) GTEST_SKIP() << "this build has no text recognition";
  const auto recognizer = CreateTextRecognizer("eng");
  const PageImage page = LoadPbm(std::string(TAVRIK_SOURCE_DIR) + "/tests/data/void-receipt.pbm");
  std::string problem;
  const std::string text = recognizer->Recognize(page, problem);
  EXPECT_EQ(problem, "");
  EXPECT_NE(text.find("VOID 4.99"), std::string::npos) << text;
  EXPECT_NE(text.find("MUFFIN 2.25"), std::string::npos) << text;
  EXPECT_NE(text.find("THANK YOU"), std::string::npos) << text;
  EXPECT_EQ(recognizer->Recognize(PageImage{}, problem), "");
}

TEST(TesseractRecognizerTest, MissingLanguageDataIsAProblemNotACrash) {
  if (!TextRecognitionAvailable()) GTEST_SKIP() << "this build has no text recognition";
  const auto recognizer = CreateTextRecognizer("xx-none");
  PageImage page;
  page.width = 8;
  page.height = 1;
  page.bits = {0xFF};
  std::string problem;
  EXPECT_EQ(recognizer->Recognize(page, problem), "");
  EXPECT_NE(problem.find("xx-none"), std::string::npos);
}

}  // namespace
}  // namespace tavrik
