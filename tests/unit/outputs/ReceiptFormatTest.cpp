#include "outputs/ReceiptFormat.h"

#include <gtest/gtest.h>

#include "outputs/ReceiptJson.h"
#include "receipt/ReceiptText.h"

namespace tavrik {
namespace {

std::string Format(std::string_view text, const TextFormat& format) {
  std::string out = "stale";
  FormatReceipt(text, format, out);
  return out;
}

TextFormat Markers(TextEncoding encoding, int32_t wrap = 0) {
  TextFormat format;
  // Moved in: assigning short literals trips GCC 12's -Wrestrict (bug 105329).
  format.start = std::string("S");
  format.end = std::string("E");
  format.wrap = wrap;
  format.encoding = encoding;
  return format;
}

TEST(ReceiptFormatTest, MarkersAroundTheLinesEachEndedByTheLineEnd) {
  TextFormat format = Markers(TextEncoding::kUtf8);
  EXPECT_EQ(Format("one\n\ntwo\n", format), "S\r\none\r\n\r\ntwo\r\nE\r\n");
  format.lineEnd = std::string("\n");
  EXPECT_EQ(Format("last line unended", format), "S\nlast line unended\nE\n");
  EXPECT_EQ(Format("a\n", TextFormat{}), "a\r\n");  // no markers
}

TEST(ReceiptFormatTest, TextWithoutAVisibleCharacterGivesNothing) {
  EXPECT_EQ(Format("", Markers(TextEncoding::kUtf8)), "");
  EXPECT_EQ(Format("  \n\n ", Markers(TextEncoding::kUtf8)), "");
}

TEST(ReceiptFormatTest, WrapCountsCharactersNotBytesAndSparesMarkers) {
  EXPECT_EQ(Format("Caf\xc3\xa9 \xe2\x82\xac" "12\n", Markers(TextEncoding::kUtf8, 4)),
            "S\r\nCaf\xc3\xa9\r\n \xe2\x82\xac" "12\r\nE\r\n");
  TextFormat format = Markers(TextEncoding::kAscii, 2);
  format.start = std::string("START");
  EXPECT_EQ(Format("abcd\n", format), "START\r\nab\r\ncd\r\nE\r\n");  // exact multiple: no empty line
}

TEST(ReceiptFormatTest, EncodingsReplaceWhatTheyLackWithQuestionMarks) {
  const std::string text = "5\xe2\x82\xac \xc3\xa9t\xc3\xa9\n";  // 5€ été
  EXPECT_EQ(Format(text, Markers(TextEncoding::kUtf8)), "S\r\n5\xe2\x82\xac \xc3\xa9t\xc3\xa9\r\nE\r\n");
  EXPECT_EQ(Format(text, Markers(TextEncoding::kLatin1)), "S\r\n5? \xe9t\xe9\r\nE\r\n");
  EXPECT_EQ(Format(text, Markers(TextEncoding::kAscii)), "S\r\n5? ?t?\r\nE\r\n");
  // Bytes that are no UTF-8 (a stray continuation, a cut-off sequence) count as one character each.
  EXPECT_EQ(Format("a\x80" "b\xe2\x82", Markers(TextEncoding::kUtf8)), "S\r\na?b??\r\nE\r\n");
}

TEST(ReceiptFormatTest, DatagramsEndAtLineEndsWithinTheLimit) {
  using Views = std::vector<std::string_view>;
  EXPECT_EQ(SplitDatagrams("aa\r\nbb\r\ncc\r\n", "\r\n", 9), (Views{"aa\r\nbb\r\n", "cc\r\n"}));
  EXPECT_EQ(SplitDatagrams("aa\r\nbb\r\n", "\r\n", 8), (Views{"aa\r\nbb\r\n"}));
  EXPECT_EQ(SplitDatagrams("abcdefgh\n", "\n", 4), (Views{"abcd", "efgh", "\n"}));  // a line beyond the limit
  EXPECT_EQ(SplitDatagrams("", "\n", 4), Views{});
  EXPECT_EQ(SplitDatagrams("ab\n", "\n", 0), (Views{"ab\n"}));
}

TEST(ReceiptJsonTest, DocumentCarriesEveryFieldEscaped) {
  ReceiptText text{"Tab\there \"q\" \\ \x01\n\xe2\x82\xac\n", true};
  ReceiptRecord frame;
  frame.sequence = 7;
  frame.time = "2026-01-31 12:00:00";
  frame.epochMs = 1769860800000;
  frame.utcOffsetMinutes = -330;
  frame.bytes = std::string_view("ab\x00\xff", 4);
  frame.cut = true;
  frame.text = &text;
  std::string out;
  FormatReceiptJson(frame, true, out);
  EXPECT_EQ(out, R"({"seq":7,"time":"2026-01-31 12:00:00","bytes":4,"cut":true,)"
                 R"("text":"Tab\there \"q\" \\ \u0001\n)" "\xe2\x82\xac" R"(\n","raw":"YWIA/w==",)"
                 R"("epochMs":1769860800000,"utcOffset":"-05:30"})");
  FormatReceiptJson(frame, false, out);  // the default: no raw bytes
  EXPECT_EQ(out.find("raw"), std::string::npos);
  EXPECT_TRUE(out.ends_with(R"(\n","epochMs":1769860800000,"utcOffset":"-05:30"})"));
}

TEST(ReceiptJsonTest, Base64PadsTheLastGroup) {
  for (const auto& [bytes, expected] : std::vector<std::pair<std::string, std::string>>{
           {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {std::string("\x00\xff\xfe", 3), "AP/+"}}) {
    std::string out;
    AppendBase64(bytes, out);
    EXPECT_EQ(out, expected) << bytes;
  }
}

}  // namespace
}  // namespace tavrik
