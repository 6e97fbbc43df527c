#pragma once
// The receipts the web port shows: decodes each frame of the source to text,
// numbers it and keeps the Server-Sent Events of the last kHeldReceipts, so
// that a viewer that reconnects gets what it missed. One feed per source: the
// decoder's state carries from frame to frame. Pure; event thread only.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Payload.h"
#include "receipt/ReceiptDecoder.h"
#include "receipt/ReceiptText.h"

namespace tavrik {

class ReceiptFeed {
 public:
  static constexpr size_t kHeldReceipts = 50;

  // Decodes the frame, received at time ("YYYY-MM-DD HH:MM:SS"), and holds
  // its event:
  //   id: <seq>\nevent: receipt\ndata: {"seq":..,"time":..,"bytes":..,"cut":..,"text":..}\n\n
  // The event is returned, shared with the held copy.
  const Payload& Add(std::string_view frame, std::string_view time);
  // The source starts over: no command or code page carries into its next frame.
  void ResetDecoder() { decoder_.Reset(); }

  // The held events numbered above lastEventId, oldest first: all of them
  // when lastEventId is empty (a new viewer) or older than the oldest held;
  // none when it is no number or a number not given out yet (nothing is
  // known to follow it).
  std::vector<Payload> EventsAfter(std::string_view lastEventId) const;
  uint64_t NewestSeq() const { return seq_; }
  const std::string& NewestTime() const { return newestTime_; }

 private:
  struct Held {
    uint64_t seq = 0;
    Payload event;
  };

  ReceiptDecoder decoder_;
  ReceiptText text_;  // reused from frame to frame
  std::array<Held, kHeldReceipts> held_{};
  uint64_t seq_ = 0;  // of the newest receipt; the first is 1
  std::string newestTime_;
};

}  // namespace tavrik
