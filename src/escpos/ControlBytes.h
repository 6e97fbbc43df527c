#pragma once
// The bytes of the ESC/POS command language that this program acts on: the
// control bytes, and the function bytes of the commands it looks for behind
// ESC, GS, FS or DLE. Names follow the command reference.
#include <cstdint>

namespace tavrik {

// Control bytes.
inline constexpr uint8_t kNul = 0x00;
inline constexpr uint8_t kEot = 0x04;
inline constexpr uint8_t kEnq = 0x05;
inline constexpr uint8_t kHt = 0x09;
inline constexpr uint8_t kLf = 0x0A;
inline constexpr uint8_t kFf = 0x0C;
inline constexpr uint8_t kDle = 0x10;
inline constexpr uint8_t kDc4 = 0x14;
inline constexpr uint8_t kEsc = 0x1B;
inline constexpr uint8_t kFs = 0x1C;
inline constexpr uint8_t kGs = 0x1D;

// DLE EOT n: the status a real-time status query asks for.
inline constexpr uint8_t kStatusPrinter = 1;
inline constexpr uint8_t kStatusOffline = 2;
inline constexpr uint8_t kStatusError = 3;
inline constexpr uint8_t kStatusPaper = 4;

// Function bytes behind ESC.
inline constexpr uint8_t kEscUserCharacters = '&';   // ESC & y c1 c2 ...: user-defined characters
inline constexpr uint8_t kEscFunctionBlock = '(';    // ESC ( fn pL pH ...
inline constexpr uint8_t kEscBitImage = '*';         // ESC * m nL nH ...
inline constexpr uint8_t kEscInitialize = '@';       // ESC @
inline constexpr uint8_t kEscPartialCut = 'i';       // ESC i: one point left uncut
inline constexpr uint8_t kEscPartialCutThree = 'm';  // ESC m: three points left uncut
inline constexpr uint8_t kEscPulse = 'p';            // ESC p m t1 t2: cash drawer pulse
inline constexpr uint8_t kEscCodeTable = 't';        // ESC t n: select character code table

// Function bytes behind GS.
inline constexpr uint8_t kGsFunctionBlock = '(';    // GS ( fn pL pH ...
inline constexpr uint8_t kGsDownloadedImage = '*';  // GS * x y ...
inline constexpr uint8_t kGsGraphicsLong = '8';     // GS 8 L p1 p2 p3 p4 ...
inline constexpr uint8_t kGsPrinterId = 'I';        // GS I n
inline constexpr uint8_t kGsCut = 'V';              // GS V m [n]
inline constexpr uint8_t kGsAutoStatus = 'a';       // GS a n: automatic status back
inline constexpr uint8_t kGsBarcode = 'k';          // GS k m ...
inline constexpr uint8_t kGsTransmitStatus = 'r';   // GS r n
inline constexpr uint8_t kGsRasterImage = 'v';      // GS v 0 m xL xH yL yH ...

// Function bytes behind FS.
inline constexpr uint8_t kFsFunctionBlock = '(';  // FS ( fn pL pH ...

// The function byte of a GS ( or GS 8 block: the first byte behind its header.
inline constexpr uint8_t kBlockCodes = 'k';     // GS ( k: 2-D codes
inline constexpr uint8_t kBlockGraphics = 'L';  // GS ( L, GS 8 L: graphics

}  // namespace tavrik
