#pragma once
// The receipts the web port shows: keeps the Server-Sent Events of the last
// kHeldReceipts, so that a viewer that reconnects gets what it missed. Gets
// every receipt, numbered without a gap from 1, or from
// wherever a journal's numbers go on. Pure; event thread only.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pipeline/ReceiptRecord.h"
#include "platform/Payload.h"

namespace tavrik {

class ReceiptFeed {
 public:
  static constexpr size_t kHeldReceipts = 50;

  // Holds the receipt's event:
  //   id: <seq>\nevent: receipt\ndata: {"seq":..,"time":..,"bytes":..,"cut":..,"text":..,"epochMs":..,..}\n\n
  // with the fields of ReceiptJsonFields.h behind the text. The event is
  // returned, shared with the held copy.
  const Payload& Add(const ReceiptRecord& receipt);

  // The held events numbered above lastEventId, oldest first: all of them
  // when lastEventId is empty (a new viewer) or older than the oldest held;
  // none when it is no number or a number not given out yet (nothing is
  // known to follow it).
  std::vector<Payload> EventsAfter(std::string_view lastEventId) const;
  uint64_t NewestSeq() const { return seq_; }
  // The oldest receipt held; 0 while none is.
  uint64_t OldestHeldSeq() const;

 private:
  struct Held {
    uint64_t seq = 0;
    Payload event;
  };

  std::array<Held, kHeldReceipts> held_{};
  uint64_t seq_ = 0;    // of the newest receipt
  uint64_t first_ = 0;  // of the first receipt since start
};

}  // namespace tavrik
