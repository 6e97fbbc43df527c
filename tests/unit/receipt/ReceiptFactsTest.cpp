// Drawer pulses, codes and images the decoder reports, the bounds past which
// a command's header is all it takes, and a corrupt length in a stream.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "receipt/ReceiptDecoder.h"

namespace tavrik {
namespace {

using namespace std::string_literals;

// Every fact of the frames in one line, in the order each kind was reported.
std::string Describe(const std::vector<std::string>& frames, std::string* text = nullptr) {
  static constexpr const char* kKinds[] = {"ESC *", "GS v 0", "graphics", "GS *"};
  ReceiptDecoder decoder;
  ReceiptText out;
  std::string facts;
  for (const std::string& frame : frames) {
    decoder.Decode(frame, out);
    if (text != nullptr) *text += out.text;
    for (const DrawerPulse& pulse : out.facts.drawerPulses)
      facts += "pulse pin " + std::to_string(pulse.pin) + " " + std::to_string(pulse.onMs) + "/" +
               std::to_string(pulse.offMs) + " ms;";
    for (const Code& code : out.facts.codes)
      facts += std::string(SymbologyName(code.symbology)) + " " + std::string(out.facts.DataOf(code)) +
               (code.truncated ? " truncated;" : ";");
    for (const Raster& raster : out.facts.rasters)
      facts += std::string(kKinds[static_cast<int>(raster.kind)]) + " " + std::to_string(raster.widthDots) + "x" +
               std::to_string(raster.heightDots) + " mode " + std::to_string(raster.mode) + " " +
               std::string(out.facts.BitsOf(raster)) + ";";
  }
  return facts;
}

struct FactCase {
  std::string command;
  std::string facts;
};

const std::vector<FactCase> kFactCases = {
    {"\x1bp\x00\x32\xfa"s, "pulse pin 2 100/500 ms;"},
    {"\x1bp1\x0a\x14"s, "pulse pin 5 20/40 ms;"},
    {"\x1bp\x02\x32\xfa"s, ""},  // no such pin
    {"\x10\x14\x01\x01\x03"s, "pulse pin 5 300/300 ms;"},
    {"\x10\x14\x02\x01\x08"s, ""},  // power-off, no pulse
    {"\x1dk\x00" "01234567890\x00"s, "UPC-A 01234567890;"},
    {"\x1dk\x02" "4006381333931\x00"s, "EAN13 4006381333931;"},
    {"\x1dkH\x04" "AB-1"s, "CODE93 AB-1;"},
    {"\x1dkI\x08{BR-0042"s, "CODE128 {BR-0042;"},
    {"\x1dkJ\x05" "01234"s, "GS1-128 01234;"},
    {"\x1dkO\x03" "abc"s, "CODE128 abc;"},
    {"\x1dk\x02\x00"s, ""},  // no data, no code
    {"\x1d(k\x07\x00" "1P0http"s, "QR http;"},
    {"\x1d(k\x06\x00" "0P0abc"s, "PDF417 abc;"},
    {"\x1d(k\x05\x00" "6P0dm"s, "DATAMATRIX dm;"},
    {"\x1d(k\x03\x00" "1Q0"s, ""},  // print the stored symbol
    {"\x1d(k\x04\x00" "2P0x"s, ""},  // MaxiCode: not reported
    {"\x1b*\x00\x03\x00zzz"s, "ESC * 3x8 mode 0 zzz;"},
    {"\x1b*\x21\x02\x00zzzzzz"s, "ESC * 2x24 mode 33 zzzzzz;"},
    {"\x1dv0\x31\x02\x00\x02\x00rrrr"s, "GS v 0 16x2 mode 1 rrrr;"},
    {"\x1d(L\x0e\x00" "0p0\x02\x01" "1\x0a\x00\x02\x00" "gggg"s, "graphics 10x2 mode 1 gggg;"},
    {"\x1d" "8L\x0e\x00\x00\x00" "0p0\x01\x02" "1\x0a\x00\x02\x00" "gggg"s, "graphics 10x2 mode 2 gggg;"},
    {"\x1d(L\x0c\x00" "0p0\x01\x01" "1\x09\x00\x01\x00" "g "s, "graphics 9x1 mode 0 g ;"},
    {"\x1d(L\x0b\x00" "0p0\x01\x01" "1\x09\x00\x01\x00" "g"s, ""},  // data shorter than the image
    {"\x1d*\x01\x01" "dddddddd"s, "GS * 8x8 mode 0 dddddddd;"},
};

TEST(ReceiptFactsTest, EachCommandReportsItsFactHoweverTheFramesSplitIt) {
  for (const FactCase& test : kFactCases) {
    SCOPED_TRACE(::testing::PrintToString(test.command));
    const std::string bytes = "A" + test.command + "B";
    for (size_t at = 0; at <= bytes.size(); ++at) {
      std::string text;
      ASSERT_EQ(Describe({bytes.substr(0, at), bytes.substr(at)}, &text), test.facts) << "split at " << at;
      ASSERT_EQ(text, "AB") << "split at " << at;
    }
  }
}

TEST(ReceiptFactsTest, CodeDataIsBoundedAndVisibleTextIsTold) {
  const std::string qr(ReceiptDecoder::kMaxCodeData + 2, '7');
  const size_t length = qr.size() + 3;
  const std::string command = "\x1d(k"s + static_cast<char>(length & 0xFF) + static_cast<char>(length >> 8) + "1P0";
  EXPECT_EQ(Describe({command + qr.substr(0, 5000), qr.substr(5000) + "\n"}),
            "QR " + qr.substr(0, ReceiptDecoder::kMaxCodeData) + " truncated;");
  ReceiptDecoder decoder;
  ReceiptText out;
  decoder.Decode("\n\n  \x1bp\x00\x32\xfa\x1dV\x00"s, out);  // the "no sale" key: a pulse and no text
  EXPECT_FALSE(out.facts.visibleText);
  EXPECT_EQ(out.facts.drawerPulses.size(), 1u);
  decoder.Decode("\n  .\n"s, out);
  EXPECT_TRUE(out.facts.visibleText);
}

// Headers no receipt printer takes: each is dropped, and what follows is text.
TEST(ReceiptFactsTest, ImplausibleHeadersAreDroppedAlone) {
  for (const std::string& header : {
           "\x1d" "8L\x01\x00\x20\x00"s,                 // 2 MiB + 1 bytes of graphics
           "\x1d" "8L\xff\xff\xff\xff"s,                 // 4 GiB
           "\x1dv0\x00\x01\x02\x01\x00"s,                // 4104 dots wide
           "\x1dv0\x00\x01\x00\x01\x40"s,                // 16385 rows
           "\x1dv0\x00\x00\x02\x01\x10"s,                // 4096 x 4097: over 2 MiB
           "\x1dv1\x00\x01\x00\x01\x00"s,                // not GS v 0
           "\x1dv0\x04\x01\x00\x01\x00"s,                // no such scale
           "\x1b*\x02\x01\x00"s,                         // no such density
           "\x1b*\x00\x01\x10"s,                         // 4097 columns
           "\x1d(L\x0b\x00" "0p0\x01\x01" "1\x01\x10\x01\x00"s,  // graphics 4097 dots wide
           "\x1d(L\x0b\x00" "0p0\x03\x01" "1\x01\x00\x01\x00"s,  // no such scale
           "\x1b&\x05\x41\x41"s,                         // 40-dot characters
           "\x1b&\x03\x10\x41"s,                         // a control character
           "\x1b&\x03\x41\x41\x31"s,                     // 49 dots wide
       }) {
    SCOPED_TRACE(::testing::PrintToString(header));
    std::string text;
    EXPECT_EQ(Describe({"A" + header + "BC\n"}, &text), "");
    EXPECT_EQ(text, "ABC\n");
  }
}

// A POS sends receipt after receipt, each ended by a cut; one carries a
// length that is corrupt but within the bounds.
TEST(ReceiptFactsTest, ACorruptLengthCostsAtMostItsReceipt) {
  const auto receipt = [](int number) { return "Receipt " + std::to_string(number) + "\nTOTAL 1.00\n"; };
  const std::vector<std::string> cuts = {"\x1dV\x42\x00"s, "\x1dV\x00"s, "\x1dV1", "\x1bi", "\x1bm"};
  for (const std::string& corrupt : {"\x1d(k\xff\xff"s, "\x1d" "8L\x00\x00\x10\x00"s, "\x1dv0\x00\x40\x00\xff\x0f"s,
                                     "\x1dk\x04"s, "\x1b&\x03\x20\x7e\x30"s}) {
    SCOPED_TRACE(::testing::PrintToString(corrupt));
    std::vector<std::string> frames;
    for (int number = 1; number <= 4; ++number) frames.push_back(receipt(number) + cuts[(number + corrupt.size()) % cuts.size()]);
    frames[1].insert(frames[1].find("TOTAL"), corrupt);
    frames.insert(frames.begin() + 2, frames[1].substr(8));  // the corrupt receipt comes in two frames
    frames[1].resize(8);
    ReceiptDecoder decoder;
    ReceiptText out;
    std::vector<std::string> texts;
    for (const std::string& frame : frames) {
      decoder.Decode(frame, out);
      texts.push_back(out.text);
    }
    EXPECT_EQ(texts[0], receipt(1));
    EXPECT_EQ(texts[1] + texts[2], "Receipt 2\n") << "the receipt's text up to the corrupt length, and its cut";
    EXPECT_EQ(texts[3], receipt(3));
    EXPECT_EQ(texts[4], receipt(4));
  }
}

}  // namespace
}  // namespace tavrik
