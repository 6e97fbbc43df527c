#include "load/ReceiptContent.h"

#include <array>
#include <cstring>

#include "render/BitmapFont.h"

namespace tavrik::load {
namespace {

constexpr size_t kPoolSize = 1 << 16;

// Centred title, then bold on and off: real commands that are no cut.
constexpr char kDecorText[] =
    "\x1B"
    "a\x01"
    "LOAD TEST RECEIPT\n"
    "\x1B"
    "a\x00"
    "\x1B"
    "E\x01"
    "ITEMS\n"
    "\x1B"
    "E\x00";
constexpr std::string_view kDecor{kDecorText, sizeof kDecorText - 1};

// The image: kImageLines lines of Font A glyphs, each with blank rows above
// and below, so that a reader finds the lines apart.
constexpr size_t kGlyphWidth = 12;
constexpr size_t kGlyphHeight = 24;
constexpr size_t kLineGap = 4;
constexpr size_t kRowBytes = ReceiptContent::kImageColumns * kGlyphWidth / 8;
constexpr size_t kRows = ReceiptContent::kImageLines * (kGlyphHeight + 2 * kLineGap);
constexpr size_t kRasterHeader = 8;  // GS v 0 m xL xH yL yH
constexpr size_t kBlockHeader = 5;   // FS ( A pL pH
constexpr size_t kImageDecor = kRasterHeader + kRowBytes * kRows + kBlockHeader;

// Words of a shop's till roll. None is a word the load's rules look for.
constexpr std::array<std::string_view, 48> kItems = {
    "MILK",    "BREAD",  "BUTTER", "CHEESE", "APPLES", "BANANAS", "COFFEE", "TEA",    "SUGAR",  "FLOUR",
    "RICE",    "PASTA",  "TOMATO", "ONIONS", "EGGS",   "YOGURT",  "HAM",    "SALAMI", "WATER",  "JUICE",
    "COLA",    "BEER",   "WINE",   "CHIPS",  "NUTS",   "CHOCO",   "SOAP",   "TISSUE", "BATTERY", "CANDLE",
    "LEMONS",  "PEARS",  "GRAPES", "CARROT", "POTATO", "GARLIC",  "SALMON", "TUNA",   "CHICKEN", "PORK",
    "BEEF",    "SAUSAGE", "OLIVES", "HONEY", "JAM",    "CEREAL",  "BISCUIT", "PIZZA"};
constexpr std::array<std::string_view, 16> kQualities = {
    "FRESH", "ORGANIC", "LARGE", "SMALL", "1L", "500G", "1KG", "6PK", "LIGHT", "DARK", "WHOLE", "SLICED",
    "FROZEN", "LOCAL", "CLASSIC", "MINI"};
constexpr std::array<std::string_view, 8> kFooters = {
    "SUBTOTAL", "VAT 20% INCL", "CARD PAYMENT", "CASH", "CHANGE", "THANK YOU", "LOYALTY POINTS", "TILL 3 CASHIER 14"};

// xorshift64: fixed, so every run prints the same receipts.
uint64_t Next(uint64_t& state) {
  state ^= state << 13;
  state ^= state >> 7;
  state ^= state << 17;
  return state;
}

std::string Amount(uint64_t cents) {
  return std::to_string(cents / 100) + "." + static_cast<char>('0' + cents / 10 % 10) +
         static_cast<char>('0' + cents % 10);
}

// "NAME QUALITY" padded so that the amount ends at column 32.
std::string ItemLine(std::string_view name, std::string_view quality, const std::string& amount) {
  std::string line(name);
  line.append(" ").append(quality);
  if (line.size() + amount.size() < 32) line.append(32 - line.size() - amount.size(), ' ');
  return line + " " + amount + "\n";
}

void PutWord(char* out, uint16_t value) {
  out[0] = static_cast<char>(value & 0xFF);
  out[1] = static_cast<char>(value >> 8);
}

}  // namespace

ReceiptContent::ReceiptContent(Mix mix)
    : mix_(mix), pool_(mix.text == Text::Realistic ? RealisticPool() : RandomPool()) {}

ReceiptContent::Kind ReceiptContent::KindOf(uint64_t seq) const {
  if (mix_.imageEvery > 0 && seq % mix_.imageEvery == 0) return Kind::Image;
  if (mix_.matchEvery > 0 && seq % mix_.matchEvery == 0) return Kind::Match;
  return Kind::Plain;
}

size_t ReceiptContent::DecorSize(Kind kind) {
  switch (kind) {
    case Kind::Plain:
      return kDecor.size();
    case Kind::Match:
      return kDecor.size() + kMatchLine.size();
    case Kind::Image:
      return kImageDecor;
  }
  return 0;
}

std::string ReceiptContent::ImageLine(uint64_t seq, size_t line) {
  if (line + 1 == kImageLines) return "TOTAL " + Amount(seq % 9000 + 100);
  return std::string(kItems[(seq * 7 + line * 13) % kItems.size()]) + " " + Amount((seq + line) % 2000 + 49);
}

void ReceiptContent::WriteDecor(uint64_t seq, size_t blockBytes, char* out) const {
  const Kind kind = KindOf(seq);
  if (kind != Kind::Image) {
    std::memcpy(out, kDecor.data(), kDecor.size());
    if (kind == Kind::Match) std::memcpy(out + kDecor.size(), kMatchLine.data(), kMatchLine.size());
    return;
  }
  std::memcpy(out, "\x1Dv0\x00", 4);
  PutWord(out + 4, kRowBytes);
  PutWord(out + 6, kRows);
  char* rows = out + kRasterHeader;
  std::memset(rows, 0, kRowBytes * kRows);
  const BitmapFont& font = FontA();
  for (size_t line = 0; line < kImageLines; ++line) {
    const std::string text = ImageLine(seq, line);
    for (size_t column = 0; column < text.size() && column < kImageColumns; ++column) {
      const uint16_t* glyph = font.Find(static_cast<char16_t>(text[column]));
      if (glyph == nullptr) continue;
      for (size_t y = 0; y < kGlyphHeight; ++y) {
        const size_t row = line * (kGlyphHeight + 2 * kLineGap) + kLineGap + y;
        for (uint32_t x = 0; x < kGlyphWidth; ++x) {
          if ((glyph[y] >> (font.width - 1u - x) & 1u) == 0) continue;  // MSB leftmost
          const size_t dot = column * kGlyphWidth + x;
          rows[row * kRowBytes + dot / 8] = static_cast<char>(rows[row * kRowBytes + dot / 8] | (0x80 >> (dot % 8)));
        }
      }
    }
  }
  char* block = rows + kRowBytes * kRows;
  std::memcpy(block, "\x1C(A", 3);
  PutWord(block + 3, static_cast<uint16_t>(blockBytes));
}

std::string ReceiptContent::RandomPool() {
  std::string pool(kPoolSize, ' ');
  uint64_t state = 0x2545F4914F6CDD1DULL;
  for (char& c : pool) {
    // Covers NUL and 0x80-0xFF.
    auto byte = static_cast<unsigned char>(Next(state) >> 24);
    // No ESC, FS or GS (no false cut, no command data hiding the cut) and
    // no "-" (no false boundary line).
    if (byte >= 0x1B && byte <= 0x1D) byte = 0x1E;
    if (byte == '-') byte = '.';
    c = static_cast<char>(byte);
  }
  return pool;
}

std::string ReceiptContent::RealisticPool() {
  std::string pool;
  pool.reserve(kPoolSize + 64);
  uint64_t state = 0x9E3779B97F4A7C15ULL;
  while (pool.size() < kPoolSize) {
    const uint64_t r = Next(state);
    if (r % 8 == 0) {
      pool.append(kFooters[(r >> 8) % kFooters.size()]).append(" ").append(Amount(r >> 16 & 0x3FFF)).append("\n");
    } else {
      pool += ItemLine(kItems[(r >> 8) % kItems.size()], kQualities[(r >> 16) % kQualities.size()],
                       Amount((r >> 24) % 5000 + 19));
    }
  }
  pool.resize(kPoolSize);
  return pool;
}

}  // namespace tavrik::load
