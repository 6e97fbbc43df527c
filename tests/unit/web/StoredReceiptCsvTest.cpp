#include <gtest/gtest.h>

#include <string>

#include "web/StoredReceiptFormat.h"

namespace tavrik {
namespace {

std::string Record(const std::string& text, bool cut = true) {
  StoredReceipt receipt;
  receipt.seq = 12;
  receipt.time = "2026-12-08 14:30:00";
  receipt.epochMs = 1796740200000;
  receipt.cut = cut;
  receipt.text = text;
  std::string out;
  AppendCsvRecord(out, receipt);
  return out;
}

TEST(StoredReceiptCsvTest, TextIsQuotedAndWhatASpreadsheetWouldRunStaysText) {
  const std::string head = "12,2026-12-08 14:30:00,1796740200000,1,";
  struct Case {
    const char* text;
    const char* field;
  };
  for (const Case& c : {Case{"TOTAL 4.99\n", "\"TOTAL 4.99\n\""}, Case{"say \"hi\"", "\"say \"\"hi\"\"\""},
                        Case{"", "\"\""}, Case{"=HYPERLINK(\"x\")", "\"'=HYPERLINK(\"\"x\"\")\""},
                        Case{"+1", "\"'+1\""}, Case{"-----\nA", "\"'-----\nA\""}, Case{"@SUM(A1)", "\"'@SUM(A1)\""},
                        Case{"\tX", "\"'\tX\""}, Case{"\rX", "\"'\rX\""}, Case{"A=1", "\"A=1\""}}) {
    EXPECT_EQ(Record(c.text), head + c.field + "\r\n") << c.text;
  }
  EXPECT_EQ(Record("x", false), "12,2026-12-08 14:30:00,1796740200000,0,\"x\"\r\n");
}

}  // namespace
}  // namespace tavrik
