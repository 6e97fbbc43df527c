#pragma once
// The ESC/POS commands this program knows, and how long their parameters
// are: the receipt decoder takes every one out of the text, cut detection
// steps over those that carry data. The table itself is in CommandTable.cpp.
#include <cstdint>

#include "escpos/ControlBytes.h"

namespace tavrik {

// How a command's parameters are laid out after its prefix and function byte.
// `params` bytes are read first; the syntax says what follows them.
enum class Syntax : uint8_t {
  Unknown,          // not in the table: nothing follows
  Fixed,            // nothing follows
  Counted16,        // X pL pH, then pL + 256 pH bytes
  Counted32,        // L p1 p2 p3 p4, then p1 + p2 2^8 + p3 2^16 + p4 2^24 bytes
  BitImage,         // m nL nH, then n columns of 3 bytes (m = 32, 33) or 1 (any other m)
  RasterImage,      // 0 m xL xH yL yH, then x * y bytes
  DownloadedImage,  // x y, then x * y * 8 bytes
  Barcode,          // m, then data up to NUL (m = 0-6) or n and n bytes (m = 65-79)
  Cut,              // m, and n when m = 65, 66, 97, 98, 103 or 104
  RealTimeStatus,   // n, and a when n = 7 or 8
  RealTimeRequest,  // fn, then 2, 5, 1 or 7 bytes for fn = 1 or 2, 3, 7, 8
  UserCharacters,   // y c1 c2, then per character c1..c2: x and y * x bytes
  TabPositions,     // up to 32 positions, ended by NUL
};

// What a command changes besides taking its bytes out of the text.
enum class Effect : uint8_t { None, CutPaper, Initialize, SelectCodePage, PulseDrawer };

struct Command {
  Syntax syntax = Syntax::Unknown;
  uint8_t params = 0;
  Effect effect = Effect::None;
};

// The command that `function` starts after `prefix` (DLE, ESC, FS or GS);
// Syntax::Unknown when there is none.
const Command& FindCommand(uint8_t prefix, uint8_t function);

}  // namespace tavrik
