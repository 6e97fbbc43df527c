// Card numbers masked in receipt text and code data; everything else as it was.
#include "receipt/CardNumbers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "receipt/ReceiptDecoder.h"

namespace tavrik {
namespace {

using namespace std::string_literals;

struct MaskCase {
  const char* why;
  std::string text;
  std::string masked;  // empty: unchanged
  size_t count;
};

TEST(CardNumbersTest, MasksLuhnValidRunsOf13To19DigitsAndNothingElse) {
  const std::vector<MaskCase> cases{
      {"groups of 4, blanks", "VISA 4111 1111 1111 1111\n", "VISA 411111******1111\n", 1},
      {"hyphens", "5500-0000-0000-0004", "550000******0004", 1},
      {"blanks and hyphens mixed", "4111-1111 1111-1111", "411111******1111", 1},
      {"4-6-5 groups, 15 digits", "AMEX 3782 822463 10005", "AMEX 378282*****0005", 1},
      {"13 digits, the whole text", "4222222222222", "422222***2222", 1},
      {"19 digits at the text's end", "PAN:6222020000000000000", "PAN:622202*********0000", 1},
      {"letters touching", "x4111111111111111y", "x411111******1111y", 1},
      {"separator behind the number stays", "4111 1111 1111 1111-\n", "411111******1111-\n", 1},
      {"UTF-8 around, two numbers, text behind moves up",
       "\xE2\x82\xAC" "4111 1111 1111 1111 \xC2\xB7 5500-0000-0000-0004 \xC3\xA9t\xC3\xA9",
       "\xE2\x82\xAC" "411111******1111 \xC2\xB7 550000******0004 \xC3\xA9t\xC3\xA9", 2},
      {"fails Luhn", "4111 1111 1111 1112", "", 0},
      {"12 digits, Luhn-valid", "411111111117", "", 0},
      {"20 digits, Luhn-valid", "41111111111111111115", "", 0},
      {"one more digit touching", "24111111111111111", "", 0},
      {"one more group joined by a blank", "4111 1111 1111 1111 2", "", 0},
      {"a double blank ends a run", "4111  1111 1111 1111", "", 0},
      {"masked already", "4111 11** **** 1111  XXXX XXXX XXXX 1111  411111******1111", "", 0},
      {"amounts, dates, times, phones",
       "2026-12-07 12:00:00 TOTAL 1,234.56 EUR Tel +49 30 1234 5678 Till 3 #000123", "", 0},
      {"nothing at all", "", "", 0},
  };
  for (const MaskCase& c : cases) {
    std::string text = c.text;
    EXPECT_EQ(MaskCardNumbers(text), c.count) << c.why;
    EXPECT_EQ(text, c.masked.empty() ? c.text : c.masked) << c.why;
  }
}

// Codes as the decoder reports them: masked in place when one is a card
// number as a whole; the image behind them keeps its bits.
TEST(CardNumbersTest, MasksCodeDataThatIsACardNumberAsAWhole) {
  const std::string frame =
      "Paid 4111 1111 1111 1111\n"
      "\x1dkI\x12{B4111111111111111"                 // CODE128, code set B
      "\x1d(k\x13\x00" "1P0" "5500000000000004"      // QR
      "\x1d(k\x17\x00" "1P0" "pan=4111111111111111"  // QR, a number inside other data
      "\x1dk\x02" "4006381333931\0"                  // EAN13: no Luhn check digit
      "\x1dkI\x0a{C\x29\x0b\x0b\x0b\x0b\x0b\x0b\x0b"  // code set C: digit pairs, left
      "\x1dv0\x00\x01\x00\x01\x00\x34"s;              // 8 x 1 raster image
  ReceiptDecoder decoder;
  ReceiptText out;
  decoder.Decode(frame, out);
  EXPECT_EQ(MaskCardNumbers(out), 3u);
  EXPECT_EQ(out.text, "Paid 411111******1111\n");
  std::vector<std::string> data;
  for (const Code& code : out.facts.codes) data.emplace_back(out.facts.DataOf(code));
  EXPECT_EQ(data, (std::vector<std::string>{"{B411111******1111", "550000******0004", "pan=4111111111111111",
                                            "4006381333931", "{C\x29\x0b\x0b\x0b\x0b\x0b\x0b\x0b"}));
  ASSERT_EQ(out.facts.rasters.size(), 1u);
  EXPECT_EQ(out.facts.BitsOf(out.facts.rasters[0]), "\x34");
}

}  // namespace
}  // namespace tavrik
