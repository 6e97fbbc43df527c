#pragma once
// The receipts the feeder prints and the clients check. Each is an
// ESC/POS-like text of a fixed size, ending in a full cut (GS "V" 0x00):
//
//   ESC "@"  "TAVRIK LOAD seq=<16 digits> sent=<20 digits> size=<6 digits>\n"
//   a few formatting commands, filler bytes (any value but ESC, GS and "-"),
//   "sum=<16 hex digits>\n"  GS "V" 0x00
//
// The filler is a slice of the filler pool chosen by the sequence number, so
// a client compares it byte for byte; the sum covers everything before the
// filler. Together they see any changed byte.
// With cut detection the relay ends a frame right behind GS "V": the cut's
// parameter byte (0x00) opens the next frame, so a frame holds an optional
// leading 0x00 and then the receipt without its last byte.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tavrik::load {

class Receipt {
 public:
  static constexpr size_t kHeaderSize = 73;
  static constexpr size_t kMinSize = 160;
  static constexpr size_t kMaxSize = 40000;  // below the relay's 40960-byte frame cap

  enum class Kind { Intact, Corrupted };
  struct Verdict {
    Kind kind = Kind::Corrupted;
    uint64_t seq = 0;
    int64_t sentNs = 0;
    const char* reason = "";
  };

  // Bytes the filler is cut from; the same for every run.
  static std::string FillerPool();

  // Writes receipt seq of size bytes to out.
  static void Build(uint64_t seq, int64_t sentNs, size_t size, std::string_view pool, char* out);

  // The size field of a receipt header (the kHeaderSize bytes a receipt
  // starts with), or 0 when the text is no receipt header.
  static size_t PeekSize(std::string_view header);

  // Judges the body of one frame part; pool is FillerPool().
  static Verdict Check(std::string_view frame, size_t expectedSize, std::string_view pool);

  static uint64_t Checksum(std::string_view bytes);
};

}  // namespace tavrik::load
