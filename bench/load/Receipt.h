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
// filler. Together they see any changed byte. What comes between header and
// filler, and what the pool holds, is the receipt's content (see
// ReceiptContent.h); an image receipt's header line sits in an unprinted
// block, behind ESC "@" FS "(A" 71 0.
// With cut detection the relay ends a frame right behind GS "V": the cut's
// parameter byte (0x00) opens the next frame, so a frame holds an optional
// leading 0x00 and then the receipt without its last byte.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "load/ReceiptContent.h"

namespace tavrik::load {

class Receipt {
 public:
  static constexpr size_t kHeaderSize = 73;
  static constexpr size_t kHiddenHeaderSize = 78;  // inside an unprinted block
  static constexpr size_t kMinSize = 160;
  static constexpr size_t kMaxSize = 40000;  // below the relay's 40960-byte frame cap

  enum class Kind { Intact, Corrupted };
  struct Verdict {
    Kind kind = Kind::Corrupted;
    uint64_t seq = 0;
    int64_t sentNs = 0;
    const char* reason = "";
  };

  // The smallest size of a receipt of this kind.
  static size_t SmallestSize(ReceiptContent::Kind kind);

  // Writes receipt seq of size bytes to out.
  static void Build(uint64_t seq, int64_t sentNs, size_t size, const ReceiptContent& content, char* out);

  // The size field of a receipt header (the kHeaderSize or, hidden,
  // kHiddenHeaderSize bytes a receipt starts with), or 0 when the text is no
  // receipt header.
  static size_t PeekSize(std::string_view header);

  // Judges the body of one frame part, printed with content.
  static Verdict Check(std::string_view frame, size_t expectedSize, const ReceiptContent& content);

  static uint64_t Checksum(std::string_view bytes);
};

}  // namespace tavrik::load
