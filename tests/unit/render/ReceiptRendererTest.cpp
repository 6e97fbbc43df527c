#include "render/ReceiptRenderer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <string>
#include <vector>

#include "png/PngWriter.h"
#include "receipt/CodePages.h"
#include "render/Code128Text.h"

namespace tavrik {
namespace {

using namespace std::string_literals;

std::string Word(uint32_t value) { return {static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)}; }

// A logo with no two rows alike: 24 bytes (192 dots) by 40 rows.
constexpr uint32_t kLogoBytes = 24;
constexpr uint32_t kLogoRows = 40;
std::string LogoRows() {
  std::string rows;
  uint32_t seed = 12345;
  for (uint32_t i = 0; i < kLogoBytes * kLogoRows; ++i) {
    seed = seed * 1103515245u + 12345u;
    rows += static_cast<char>(seed >> 16);
  }
  return rows;
}

// The same logo as GS * wants it: columns of bytes, MSB on top.
std::string LogoColumns(const std::string& rows) {
  std::string columns(size_t{kLogoBytes} * 8 * kLogoRows / 8, '\0');
  for (uint32_t x = 0; x < 8 * kLogoBytes; ++x)
    for (uint32_t y = 0; y < kLogoRows; ++y)
      if ((static_cast<uint8_t>(rows[y * kLogoBytes + x / 8]) >> (7 - x % 8) & 1) != 0)
        columns[x * (kLogoRows / 8) + y / 8] = static_cast<char>(columns[x * (kLogoRows / 8) + y / 8] | 0x80 >> (y % 8));
  return columns;
}

TEST(ReceiptRendererTest, LogoRowsEqualTheLogosBitsHoweverItIsSent) {
  const std::string rows = LogoRows();
  const std::string graphics = "0p0\x01\x01" "1"s + Word(8 * kLogoBytes) + Word(kLogoRows) + rows;
  const struct {
    const char* how;
    std::string bytes;
  } cases[] = {
      {"GS v 0", "\x1dv0\x00"s + Word(kLogoBytes) + Word(kLogoRows) + rows},
      {"GS ( L fn 112, fn 50", "\x1d(L"s + Word(static_cast<uint32_t>(graphics.size())) + graphics + "\x1d(L\x02\x00" "02"s},
      {"GS 8 L fn 112, GS ( L fn 2", "\x1d" "8L"s + Word(static_cast<uint32_t>(graphics.size())) + Word(0) + graphics +
                                         "\x1d(L\x02\x00" "0\x02"s},
      {"GS * and GS /", "\x1d*"s + static_cast<char>(kLogoBytes) + static_cast<char>(kLogoRows / 8) + LogoColumns(rows) +
                            "\x1d/\x00"s},
  };
  for (const auto& c : cases) {
    PrinterState state;
    // Centred under a line of text: the logo starts at (576 - 192) / 2 = 192, row 30.
    const RenderedReceipt out = ReceiptRenderer({}).Render("Shop\n\x1b" "a\x01"s + c.bytes, state);
    ASSERT_EQ(out.paper.Height(), 30 + kLogoRows) << c.how;
    size_t differing = 0;
    for (uint32_t y = 0; y < kLogoRows; ++y)
      for (uint32_t x = 0; x < out.paper.Width(); ++x) {
        const bool inLogo = x >= 192 && x < 192 + 8 * kLogoBytes;
        const bool bit = inLogo && (static_cast<uint8_t>(rows[y * kLogoBytes + (x - 192) / 8]) >> (7 - x % 8) & 1) != 0;
        differing += out.paper.Dot(x, 30 + y) != bit;
      }
    EXPECT_EQ(differing, 0u) << c.how;
  }
}

bool SamePicture(const PaperImage& a, const PaperImage& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (uint32_t y = 0; y < a.Height(); ++y)
    if (!std::equal(a.Row(y), a.Row(y) + a.RowBytes(), b.Row(y))) return false;
  return true;
}

// A frame draws the same from the state an earlier frame left as with the
// same settings in front of it, drawn or only run through (Advance); ESC @
// brings every setting back.
TEST(ReceiptRendererTest, StateCarriesFromFrameToFrameUntilInitialized) {
  const std::string settings =
      "\x1bt\x13\x1b" "a\x01\x1b!\x38\x1d" "B\x01\x1b-\x02\x1b\x33\x40\x1dL\x10\x00\x1dh\x20\x1dH\x02"
      "\x1d*\x01\x01" "ABCDEFGH\x1d(k\x07\x00" "1P0abcd"s;
  const std::string receipt = "Caf\x82 \xd5\n\x1d/\x03\x1d(k\x03\x00" "1Q0\x1dk\x48\x03" "ABC"s;
  ReceiptRenderer renderer({});
  PrinterState carried;
  renderer.Advance(settings, carried);
  PrinterState together;
  const PaperImage expected = renderer.Render(settings + receipt, together).paper;
  PrinterState afterReceipt = carried;
  EXPECT_TRUE(SamePicture(renderer.Render(receipt, afterReceipt).paper, expected));
  PrinterState fresh;
  const PaperImage initial = renderer.Render(receipt, fresh).paper;
  EXPECT_FALSE(SamePicture(initial, expected));
  EXPECT_TRUE(SamePicture(renderer.Render("\x1b@"s + receipt, carried).paper, initial));
}

// The picture ends at the cut and at kMaxRows; what follows still sets the state.
TEST(ReceiptRendererTest, PictureEndsAtTheCutOrTheRowBound) {
  ReceiptRenderer renderer({384, 20000});
  PrinterState state;
  const RenderedReceipt cut = renderer.Render("Paid\n\x1dV\x00More\n\x1b" "a\x02"s, state);
  EXPECT_TRUE(cut.cut);
  EXPECT_EQ(cut.paper.Height(), 31u);  // the line, and the cut line under it
  EXPECT_EQ(state.alignment, Alignment::Right);

  const std::string tall = "\x1dv0\x00\x30\x00\x00\x40"s + std::string(0x30 * 0x4000, '\xff');
  for (const std::string& frame : {std::string(25000, '\n'), std::string(130, '\n') + tall, "x" + tall + tall + "y\n"}) {
    PrinterState fresh;
    const RenderedReceipt out = renderer.Render(frame, fresh);
    EXPECT_TRUE(out.paper.Truncated());
    EXPECT_LE(out.paper.Height(), 20000u);
    EXPECT_FALSE(out.cut);
  }
}

// A command the frame ends inside draws nothing; nor do unknown ones, nor
// an image whose header is not one (the bytes behind it are text).
TEST(ReceiptRendererTest, DropsCommandsCutShortUnknownOrMalformed) {
  ReceiptRenderer renderer({});
  PrinterState state;
  const PaperImage text = renderer.Render("abc\n"s, state).paper;
  const struct {
    std::string before;
    std::string after;
  } cases[] = {
      {"", "\x1dv0\x00\x10\x00\x10\x00\xff"s},
      {"", "\x1d(k\x10\x00" "1P0"s},
      {"", "\x1b\x01\x1b"s},
      {"\x1dv0\x07\x01\x00\x01\x00"s, ""},  // no scale 7
      {"\x1dve\x00\x01\x00\x01\x00"s, ""},  // GS v 0 only
      {"\x1b*\x02\x01\x00"s, ""},            // no density 2
  };
  for (const auto& c : cases) {
    PrinterState fresh;
    EXPECT_TRUE(SamePicture(renderer.Render(c.before + "abc\n" + c.after, fresh).paper, text))
        << c.before.size() << ' ' << c.after.size();
  }
}

// Every character a code page yields is drawn, in both fonts: its glyph or
// the replacement box, never nothing (but for a blank and the zero-width
// characters, which take no room).
TEST(ReceiptRendererTest, EveryCodePageCharacterLeavesInk) {
  ReceiptRenderer renderer({});
  size_t blank = 0;
  for (unsigned page = 0; page < 256; ++page) {
    const CodePage* table = FindCodePage(static_cast<uint8_t>(page));
    if (table == nullptr) continue;
    for (unsigned byte = 0x80; byte < 0x100; ++byte) {
      const char16_t c = (*table)[byte - 0x80];
      if (c == 0x00A0) continue;                 // the no-break blank
      if (c >= 0x200C && c <= 0x200F) continue;  // zero-width joiners, direction marks
      for (const std::string& font : {"\x1bM\x00"s, "\x1bM\x01"s}) {
        PrinterState state;
        const std::string frame = "\x1bt"s + static_cast<char>(page) + font + static_cast<char>(byte) + "\n";
        const PaperImage paper = renderer.Render(frame, state).paper;
        bool ink = false;
        for (uint32_t y = 0; y < paper.Height() && !ink; ++y)
          for (uint32_t x = 0; x < 12 && !ink; ++x) ink = paper.Dot(x, y);
        blank += ink ? 0 : 1;
        EXPECT_TRUE(ink) << "page " << page << " byte " << byte;
      }
    }
  }
  EXPECT_EQ(blank, 0u);
  PrinterState marked;
  PrinterState plain;
  EXPECT_TRUE(SamePicture(renderer.Render("\x1bt\x31" "a\xfd" "b\n"s, marked).paper,
                          renderer.Render("\x1bt\x31" "ab\n"s, plain).paper));  // CP1255 0xFD: U+200E
}

TEST(ReceiptRendererTest, QrCodeDecodesToItsData) {
  const std::string data = "https://example.test/r/0042?total=9.99";
  const std::string receipt = "\x1b" "a\x01\x1d(k\x03\x00" "1C\x05\x1d(k"s + Word(static_cast<uint32_t>(data.size() + 3)) +
                              "1P0" + data + "\x1d(k\x03\x00" "1Q0\n"s;
  PrinterState state;
  std::string png;
  ASSERT_TRUE(PngWriter::Write(ReceiptRenderer({}).Render(receipt, state).paper, png));
  if (std::system("zbarimg --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "zbarimg (zbar-tools) is not installed";
  const auto path = std::filesystem::temp_directory_path() / ("tavrik-qr-" + std::to_string(::getpid()) + ".png");
  std::ofstream(path, std::ios::binary) << png;
  std::string decoded;
  if (FILE* zbar = ::popen(("zbarimg --raw -q " + path.string() + " 2>/dev/null").c_str(), "r")) {
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, zbar) != nullptr) decoded += buffer;
    ::pclose(zbar);
  }
  std::filesystem::remove(path);
  EXPECT_EQ(decoded, data + "\n");
}

TEST(ReceiptRendererTest, Code128TextDropsSelectorsAndSpellsCodeSetC) {
  const struct {
    std::string data;
    std::string text;
  } cases[] = {
      {"{BTAV-42", "TAV-42"},
      {"{C\x0c\x22\x38", "123456"},
      {"{BNo{C\x07{Bx", "No07x"},
      {"{B{{x{1y", "{xy"},
  };
  for (const auto& c : cases) EXPECT_EQ(Code128Text(c.data), c.text) << c.data;
}

}  // namespace
}  // namespace tavrik
