#pragma once
// How long the parameters and data of the variable-length commands are, as
// the command reference gives them: what cut detection and the receipt
// decoder both need to step over a command. Each says only what a printer
// takes; how much of a stream to trust is the caller's bound.
#include <cstdint>

namespace tavrik {

// No receipt printer prints wider than 4096 dots (512 mm at 203 dpi).
inline constexpr uint32_t kMaxPrinterDots = 4096;
// GS k m (m = 0-6) data before its NUL: k <= 255 for every such m.
inline constexpr uint32_t kMaxNulEndedBarcode = 255;

// Two parameter bytes, low byte first.
constexpr uint32_t Word(uint8_t low, uint8_t high) { return low + 256u * high; }

// GS V function A (m = 0, 1, 48, 49): cuts at once.
constexpr bool CutsAtOnce(uint8_t m) { return m == 0 || m == 1 || m == 48 || m == 49; }
// GS V functions B, C, D (m = 65, 66, 97, 98, 103, 104): one more byte n.
constexpr bool CutTakesFeed(uint8_t m) {
  return m == 65 || m == 66 || m == 97 || m == 98 || m == 103 || m == 104;
}

// ESC * m: bytes per column, 1 (8 dots, m = 0, 1) or 3 (24 dots, m = 32, 33);
// 0 for a mode there is none of.
constexpr uint8_t BitImageColumnBytes(uint8_t m) {
  return m == 0 || m == 1 ? 1 : m == 32 || m == 33 ? 3 : 0;
}

// GS v 0 m: the scale, 0 normal, 1 double width, 2 double height, 3 both,
// given as 0-3 or their digits '0'-'3'; kNoScale for anything else.
inline constexpr uint8_t kNoScale = 0xFF;
constexpr uint8_t RasterScale(uint8_t m) {
  return m <= 3 ? m : m >= '0' && m <= '3' ? static_cast<uint8_t>(m - '0') : kNoScale;
}

// GS k m: data up to a NUL (m = 0-6), or a count n and n bytes (m = 65-79).
constexpr bool IsNulEndedBarcode(uint8_t m) { return m <= 6; }
constexpr bool IsCountedBarcode(uint8_t m) { return m >= 65 && m <= 79; }

// DLE DC4 fn: bytes behind fn for fn = 1 (m t), 2 (a b), 3 (a n r t1 t2),
// 7 (m), 8 (d1...d7); any other fn stands alone.
constexpr uint8_t RealTimeRequestBytes(uint8_t fn) {
  switch (fn) {
    case 1: case 2: return 2;
    case 3: return 5;
    case 7: return 1;
    case 8: return 7;
    default: return 0;
  }
}

}  // namespace tavrik
