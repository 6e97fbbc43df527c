#include "web/ReceiptJsonFields.h"

#include <gtest/gtest.h>

#include <string>

namespace tavrik {
namespace {

std::string Fields(const ReceiptText& text, int32_t utcOffsetMinutes) {
  ReceiptRecord receipt;
  receipt.epochMs = 1796644800123;
  receipt.utcOffsetMinutes = utcOffsetMinutes;
  receipt.text = &text;
  std::string out;
  AppendReceiptJsonFields(out, receipt);
  return out;
}

TEST(ReceiptJsonFieldsTest, TimeAlwaysAndEachKindOfFactWherePresent) {
  const ReceiptText plain{"Total\n", true};
  EXPECT_EQ(Fields(plain, 60), R"(,"epochMs":1796644800123,"utcOffset":"+01:00")");
  EXPECT_EQ(Fields(plain, -570), R"(,"epochMs":1796644800123,"utcOffset":"-09:30")");
  EXPECT_EQ(Fields(plain, 0), R"(,"epochMs":1796644800123,"utcOffset":"+00:00")");

  ReceiptText facts;
  facts.facts.drawerPulses = {{2, 100, 500}, {5, 200, 200}};
  facts.facts.data = "{BR-0042\"q\xff";  // a quote and a byte that is no UTF-8
  facts.facts.codes = {{Symbology::Code128, 0, 8, false}, {Symbology::QrCode, 8, 3, false}};
  facts.facts.rasters = {{RasterKind::RasterImage, 0, 576, 64, 0, 0}, {RasterKind::BitImage, 33, 200, 24, 0, 0},
                         {RasterKind::Graphics, 0, 8, 8, 0, 0}, {RasterKind::DownloadedImage, 0, 16, 8, 0, 0}};
  EXPECT_EQ(Fields(facts, 0),
            R"(,"epochMs":1796644800123,"utcOffset":"+00:00")"
            R"(,"drawer":[{"pin":2,"onMs":100,"offMs":500},{"pin":5,"onMs":200,"offMs":200}])"
            R"(,"codes":[{"symbology":"CODE128","data":"{BR-0042"},{"symbology":"QR","data":"\"q)" "\xEF\xBF\xBD" R"("}])"
            R"(,"images":[{"kind":"raster","width":576,"height":64},{"kind":"bitImage","width":200,"height":24},)"
            R"({"kind":"graphics","width":8,"height":8},{"kind":"downloaded","width":16,"height":8}])");
}

}  // namespace
}  // namespace tavrik
