#pragma once
// The receipts whose pictures the web port gives (GET /receipts/SEQ.png):
// the raw bytes of the last kHeldReceipts receipts, at most kMaxHeldBytes in
// all, and the printer state before the oldest of them. A picture is drawn
// when asked for, never per receipt: the state before the receipt is the
// held one run on through the receipts in between (ReceiptRenderer::Advance),
// and a receipt that is let go moves the held state on past itself.
//
// The state follows the receipts only: a frame that is no receipt (nothing
// but commands) is not seen, nor is a source's new start. While card numbers
// are masked, a receipt whose text holds one gets no picture, since the
// picture is drawn from the unmasked bytes.
//
// Owned by start-up, fed by the receipt pipeline; event thread only.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "pipeline/ReceiptListener.h"
#include "receipt/ReceiptDecoder.h"
#include "render/ReceiptRenderer.h"
#include "web/PictureSource.h"

namespace tavrik {

class ReceiptPictures final : public ReceiptListener, public PictureSource {
 public:
  static constexpr size_t kHeldReceipts = 50;  // as many as the viewer replays
  static constexpr size_t kMaxHeldBytes = size_t{16} << 20;

  ReceiptPictures(RenderSettings settings, bool maskCardNumbers);

  void OnReceipt(const ReceiptRecord& receipt) override;
  bool PictureOf(uint64_t sequence, std::string& png) override;

 private:
  struct Held {
    uint64_t sequence = 0;
    bool withheld = false;  // a card number in it
    std::string bytes;      // capacity kept from receipt to receipt
  };

  void Hold(uint64_t sequence, std::string_view bytes);
  Held& Oldest() { return held_[(next_ + kHeldReceipts - count_) % kHeldReceipts]; }
  void LetGoOldest();
  bool HoldsCardNumber(std::string_view bytes);

  ReceiptRenderer renderer_;
  bool maskCardNumbers_;
  std::array<Held, kHeldReceipts> held_{};
  size_t next_ = 0;   // where the next receipt goes
  size_t count_ = 0;  // held, the newest at next_ - 1
  size_t heldBytes_ = 0;
  PrinterState before_;  // the state before the oldest held receipt
  ReceiptDecoder decoder_;
  ReceiptText text_;
};

}  // namespace tavrik
