#pragma once
// Answers a POS's status queries as a healthy printer would, online, cover
// closed, paper loaded, no error, when the relay stands in for a printer that
// is not there. Fed the POS -> printer stream; owns nothing else.
//
//   DLE EOT 1 -> 0x16   DLE EOT 2, 3, 4 -> 0x12   (bits 1 and 4 fixed on)
//   DLE EOT 7 a -> nothing (ink status: a receipt printer has no ink)
//   GS r 1/49, GS r 2/50 -> 0x00                  (paper present, drawer pin low)
//   GS a n, n != 0 -> 10 00 00 00, once           (first automatic status block)
//   GS a 0, ESC @ -> nothing; automatic status off
//   GS I 1/49 -> 0x20  model ID, the number of the common 80 mm model family
//   GS I 2/50 -> 0x02  type ID: autocutter; no multi-byte characters, no display
//   GS I 3/51 -> 0x64  ROM version ID
//   GS I 65..69 -> 0x5F, text, 0x00: "1.00", "TAVRIK", "TAVRIK RELAY",
//                  "00000001", "ANK" (firmware, maker, model, serial, fonts)
// Any other parameter is ignored, as a printer does. Every one-byte ID has
// bits 4 and 7 off, the pattern (0xx0xxxx) a POS tells ID replies apart by.
#include <string>
#include <string_view>

#include "tap/PosQueryScanner.h"

namespace tavrik::tap {

class StatusResponder {
 public:
  // Appends the answers to the queries that complete in chunk, in order.
  // Allocates nothing itself; replies grows only if it is too small.
  void Scan(std::string_view chunk, std::string& replies);

  bool AutoStatusEnabled() const { return autoStatus_; }

 private:
  void Answer(PosQuery query, std::string& replies);

  PosQueryScanner scanner_;
  bool autoStatus_ = false;
};

}  // namespace tavrik::tap
