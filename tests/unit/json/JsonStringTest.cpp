#include "json/JsonString.h"

#include <gtest/gtest.h>

#include <string>

namespace tavrik {
namespace {

std::string Json(std::string_view text) {
  std::string out;
  AppendJsonString(out, text);
  return out;
}

TEST(JsonString, EscapesQuotesBackslashesAndControlCharacters) {
  EXPECT_EQ(Json(""), "\"\"");
  EXPECT_EQ(Json("a\"b\\c/d"), "\"a\\\"b\\\\c/d\"");
  EXPECT_EQ(Json("1\n2\r3\t4"), "\"1\\n2\\r3\\t4\"");
  EXPECT_EQ(Json(std::string("\0\x01\x1f\x7f", 4)), "\"\\u0000\\u0001\\u001f\\u007f\"");
}

TEST(JsonString, ValidUtf8PassesUnchanged) {
  for (const std::string text :
       {"€ 4,50", "Grüße", "日本", "\xF0\x9F\xA7\xBE", "\xEF\xBF\xBF", "\xF4\x8F\xBF\xBF"}) {
    EXPECT_EQ(Json(text), "\"" + text + "\"");
  }
}

TEST(JsonString, EveryInvalidByteBecomesTheReplacementCharacter) {
  const std::string r = "\xEF\xBF\xBD";
  EXPECT_EQ(Json("a\x80z"), "\"a" + r + "z\"");                      // stray continuation byte
  EXPECT_EQ(Json("\xC0\xAF"), "\"" + r + r + "\"");                  // overlong
  EXPECT_EQ(Json("\xE0\x80\xAF"), "\"" + r + r + r + "\"");          // overlong, three bytes
  EXPECT_EQ(Json("\xED\xA0\x80"), "\"" + r + r + r + "\"");          // surrogate
  EXPECT_EQ(Json("\xF4\x90\x80\x80"), "\"" + r + r + r + r + "\"");  // beyond U+10FFFF
  EXPECT_EQ(Json("\xE2\x82"), "\"" + r + r + "\"");                  // cut short at the end
  EXPECT_EQ(Json("\xE2\x82\"x"), "\"" + r + r + "\\\"x\"");          // cut short by an ASCII byte
  EXPECT_EQ(Json("\xFF\xFE"), "\"" + r + r + "\"");
}

}  // namespace
}  // namespace tavrik
