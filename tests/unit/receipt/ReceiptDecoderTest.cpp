#include "receipt/ReceiptDecoder.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

namespace tavrik {
namespace {

using namespace std::string_literals;

ReceiptText DecodeFrames(const std::vector<std::string>& frames) {
  ReceiptDecoder decoder;
  ReceiptText all;
  ReceiptText one;
  for (const auto& frame : frames) {
    decoder.Decode(frame, one);
    all.text += one.text;
    all.cut = all.cut || one.cut;
  }
  return all;
}

std::string Decode(const std::string& bytes) { return DecodeFrames({bytes}).text; }

TEST(ReceiptLayoutTest, LineEndsTabsAndBlanks) {
  EXPECT_EQ(Decode("one\r\ntwo\rthree\n"), "one\ntwothree\n");
  EXPECT_EQ(Decode("a\tb\n12345678\tc\n\td\n"), "a       b\n12345678        c\n        d\n");
  EXPECT_EQ(Decode("total   \t \nx  y  \n"), "total\nx  y\n");
  EXPECT_EQ(Decode("page\fnext\x01\x07\x7f!\n"), "page\nnext!\n");
  // Blanks held back at the end of a frame are written once text follows.
  EXPECT_EQ(DecodeFrames({"a  ", "\tb\n", "c   ", "\n"}).text, "a       b\nc\n");
  // A run of blanks longer than the cap is cut to it wherever frames end.
  const std::string wide = "a" + std::string(300, ' ') + "b\t" + std::string(40, '\t') + "c";
  const std::string capped = "a" + std::string(LineLayout::kMaxPendingBlanks, ' ') + "b" +
                             std::string(LineLayout::kMaxPendingBlanks, ' ') + "c";
  for (size_t at = 0; at <= wide.size(); ++at)
    ASSERT_EQ(DecodeFrames({wide.substr(0, at), wide.substr(at)}).text, capped) << at;
}

TEST(ReceiptLayoutTest, CutEndsTheLineAndTextGoesOnBehindIt) {
  const ReceiptText text = DecodeFrames({"paid\x1dV\x00" "next\n\x1bi"s});
  EXPECT_EQ(text.text, "paid\nnext\n");
  EXPECT_TRUE(text.cut);
  EXPECT_FALSE(DecodeFrames({"no cut\n\x1d\x56"s.substr(0, 8)}).cut);
}

// One of every command in the table, with printable parameters wherever the
// command allows, so that a wrong length shows as stray text or a lost "B".
const std::vector<std::string> kCommands = {
    "\x10\x04\x01"s, "\x10\x04\x07\x01"s, "\x10\x05\x02"s, "\x10\x14\x01\x00\x01"s, "\x10\x14\x02\x01\x08"s,
    "\x10\x14\x03\x01\x02\x03\x04\x05"s, "\x10\x14\x07\x01"s, "\x10\x14\x08\x01\x03\x14\x01\x06\x02\x08"s,
    "\x1b 0", "\x1b!0", "\x1b$00", "\x1b%1", "\x1b&\x03" "AB\x02xxxxxx\x01yyy", "\x1b(A\x04\x00wxyz"s,
    "\x1b*\x00\x03\x00zzz"s, "\x1b*\x21\x02\x00zzzzzz"s, "\x1b-1", "\x1b" "30", "\x1b=1", "\x1b?A", "\x1b@",
    "\x1b" "C1", "\x1b" "D08\x00"s, "\x1b" "E1", "\x1b" "F1", "\x1bG1", "\x1bJ0", "\x1bK0", "\x1bM1", "\x1bR0",
    "\x1bT0", "\x1bU1", "\x1bV1", "\x1bW00000000", "\x1b\\00", "\x1b" "a1", "\x1b" "c30", "\x1b" "d3", "\x1b" "e1",
    "\x1b" "f00", "\x1bi", "\x1bm", "\x1bp0xx", "\x1br1", "\x1bt0", "\x1bu0", "\x1b{1",
    "\x1c!0", "\x1c&", "\x1c(A\x02\x00" "01"s, "\x1c-1", "\x1c.", "\x1c" "2ab" + std::string(72, 'k'), "\x1c?ab",
    "\x1c" "C1", "\x1cS00", "\x1cW1", "\x1cp10",
    "\x1d!0", "\x1d$00", "\x1d(k\x03\x00" "1C3"s, "\x1d*\x01\x01" "dddddddd", "\x1d/0",
    "\x1d" "8L\x03\x00\x00\x00" "0pq"s, "\x1d" "B1", "\x1d" "E1", "\x1dH2", "\x1dI1", "\x1dL00", "\x1dP00", "\x1dT0",
    "\x1dV0", "\x1dVA0", "\x1dW00", "\x1d\\00", "\x1d^000", "\x1d" "a0", "\x1d" "b1", "\x1d" "f0", "\x1dg0000",
    "\x1dhP", "\x1dj0", "\x1dk\x02" "4006381333931\x00"s, "\x1dkI\x05" "12345", "\x1dr1",
    "\x1dv0\x00\x02\x00\x02\x00rrrr"s, "\x1dw2", "\x1dz000",
};

TEST(ReceiptCommandTest, EveryCommandIsTakenOutWholeHoweverTheFramesSplitIt) {
  std::set<std::pair<char, char>> tested;
  for (const std::string& command : kCommands) {
    SCOPED_TRACE(::testing::PrintToString(command));
    tested.emplace(command[0], command[1]);
    const bool cuts = FindCommand(static_cast<uint8_t>(command[0]), static_cast<uint8_t>(command[1])).effect ==
                      Effect::CutPaper;
    const std::string bytes = "A" + command + "B";
    for (size_t at = 0; at <= bytes.size(); ++at) {
      const ReceiptText text = DecodeFrames({bytes.substr(0, at), bytes.substr(at)});
      ASSERT_EQ(text.text, cuts ? "A\nB" : "AB") << "split at " << at;
      ASSERT_EQ(text.cut, cuts);
    }
  }
  size_t known = 0;
  for (const uint8_t prefix : {kDle, kEsc, kFs, kGs})
    for (int function = 0; function < 256; ++function)
      known += FindCommand(prefix, static_cast<uint8_t>(function)).syntax != Syntax::Unknown;
  EXPECT_EQ(tested.size(), known) << "a command in the table has no case here";
}

TEST(ReceiptCommandTest, UnknownCommandsAndDataBounds) {
  EXPECT_EQ(Decode("A\x1bzB\x1d\x01" "C\x1c" "xD\x10" "E\n"), "ABCDE\n");
  EXPECT_EQ(Decode("\x1b&\x03" "BA" "kept\n"), "kept\n");  // c1 > c2: no characters follow
  // Bar code data without its NUL ends after 255 bytes.
  EXPECT_EQ(Decode("\x1dk\x04" + std::string(256, '7') + "after\n"), "after\n");
  // A 2 MB raster whose data is line feeds, in 64 KB frames.
  std::vector<std::string> frames{"logo\x1dv0\x00\x00\x02\x00\x10"s};
  for (int i = 0; i < 32; ++i) frames.emplace_back(65536, '\n');
  frames.back() += "text\n";
  EXPECT_EQ(DecodeFrames(frames).text, "logotext\n");
}

bool IsValidUtf8(const std::string& text, size_t& characters) {
  characters = 0;
  for (size_t i = 0; i < text.size(); ++characters) {
    const auto lead = static_cast<uint8_t>(text[i]);
    const size_t length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : 0;
    if (length == 0 || i + length > text.size() || (length == 2 && lead < 0xC2)) return false;
    for (size_t k = 1; k < length; ++k)
      if ((static_cast<uint8_t>(text[i + k]) & 0xC0) != 0x80) return false;
    i += length;
  }
  return true;
}

TEST(ReceiptCodePageTest, EveryTableNumberGivesOneValidCharacterPerByte) {
  std::string upper;
  for (int byte = 0x80; byte < 0x100; ++byte) upper += static_cast<char>(byte);
  for (int number = 0; number < 256; ++number) {
    const std::string text = Decode("\x1bt"s + static_cast<char>(number) + upper);
    size_t characters = 0;
    ASSERT_TRUE(IsValidUtf8(text, characters)) << number;
    EXPECT_EQ(characters, 128u) << number;
  }
}

TEST(ReceiptCodePageTest, PagesSwitchFallBackAndCarryAcrossFrames) {
  EXPECT_EQ(Decode("\x80\x1bt\x13\xd5\x1b@\xd5\n"), "Ç€╒\n");
  EXPECT_EQ(Decode("\x1bt\x10\x80\x81\x1bt\x63\x80\n"), "€\uFFFDÇ\n");  // CP1252, then unknown 99: CP437
  EXPECT_EQ(Decode("\x1bt\x11\xa0\x1bt\x2d\xa3\n"), "а\u0141\n");        // CP866, CP1250
  EXPECT_EQ(DecodeFrames({"\x1bt", "\x13", "\xd5\n"}).text, "€\n");
}

TEST(ReceiptDecoderTest, ResetForgetsThePageAndAnythingPending) {
  for (const std::string& pending : {"\x1dv0\x00\x10\x00\x10\x00"s, "\x1dkI\x10{B12"s, "\x1dk\x04" "12"s,
                                     "\x1b&\x03\x41\x42\x02xx"s, "\x1d(L"s}) {
    ReceiptDecoder decoder;
    ReceiptText text;
    decoder.Decode("\x1bt\x13" "a  "s + pending, text);
    EXPECT_EQ(text.text, "a");
    decoder.Reset();
    decoder.Decode("b\xd5\x00\n"s, text);
    EXPECT_EQ(text.text, "b╒\n");
    EXPECT_TRUE(text.facts.codes.empty() && text.facts.rasters.empty());
  }
}

}  // namespace
}  // namespace tavrik
