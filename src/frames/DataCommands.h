#pragma once
// The few ESC/POS commands cut detection has to know, read off the command
// table (escpos/CommandTable.h): the paper cuts, and the commands whose data
// may hold any byte, a cut command's included: bit images and rasters (ESC *,
// GS v 0, GS ( L, GS 8 L, GS *), bar codes and 2-D codes (GS k, GS ( k),
// user-defined characters (ESC &) and the other length-prefixed blocks
// (GS ( X, FS ( X). Every other command is passed byte by byte, so a command
// missing here can never hide a cut.
#include <cstdint>
#include <optional>

namespace tavrik {

// How a command's header and data are laid out behind its two bytes.
enum class DataLayout : uint8_t {
  kNone,             // not one of ours: passed byte by byte
  kPartialCut,       // ESC i
  kCut,              // GS V m, and n when m = 65, 66, 97, 98, 103 or 104
  kBitImage,         // ESC * m nL nH, then n columns of 1 (m = 0, 1) or 3 (m = 32, 33) bytes
  kUserCharacters,   // ESC & y c1 c2, then per character c1..c2: x and y * x bytes
  kRasterImage,      // GS v 0 m xL xH yL yH, then x * y bytes
  kDownloadedImage,  // GS * x y, then x * y * 8 bytes
  kBarcode,          // GS k m, then data up to NUL (m = 0-6) or n and n bytes (m = 65-79)
  kCounted16,        // GS ( / FS ( fn pL pH, then pL + 256 pH bytes
  kCounted32,        // GS 8 L p1 p2 p3 p4, then p1 + p2 2^8 + p3 2^16 + p4 2^24 bytes
};

struct DataCommand {
  DataLayout layout = DataLayout::kNone;
  uint8_t headerLength = 0;  // bytes behind the function byte before the data
};

// Plausibility bounds: a header beyond them is a corrupt stream, not a
// command, and its length must not make cut detection blind for long.
inline constexpr uint32_t kMaxDataLength = 4 << 20;  // larger than any receipt image
inline constexpr uint8_t kMaxCharacterHeight = 8;    // ESC & y, in bytes
inline constexpr uint8_t kMaxCharacterWidth = 64;    // ESC & x, in dots

// The longest header of a data command (GS v 0 m xL xH yL yH).
constexpr uint8_t kHeaderCapacity = 6;

// The command that function starts behind lead (ESC, GS or FS).
DataCommand FindDataCommand(uint8_t lead, uint8_t function);

// The length of the data behind a complete header of a counted layout (bit,
// raster and downloaded images, counted blocks); nullopt when implausible.
std::optional<uint32_t> CountedDataLength(DataLayout layout, const uint8_t* header);

}  // namespace tavrik
