#pragma once
// The receipts whose pictures the web port gives (GET /receipts/SEQ.png):
// the raw bytes of the last kHeldReceipts receipts, at most kMaxHeldBytes in
// all, and the printer state before the oldest of them. A picture is drawn
// when asked for, never per receipt: the state before the receipt is the
// held one run on through the receipts in between (ReceiptRenderer::Advance),
// and a receipt that is let go moves the held state on past itself.
//
// Where an output sends the pictures along, each receipt's is drawn as it
// comes instead (Paint, from the state after the receipt before it), and
// held with its bytes, so that the web port gives the same PNG again.
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

#include "pictures/CardNumberCheck.h"
#include "pipeline/ReceiptListener.h"
#include "pipeline/ReceiptPainter.h"
#include "render/ReceiptRenderer.h"
#include "web/PictureSource.h"

namespace tavrik {

class ReceiptPictures final : public ReceiptListener, public PictureSource, public ReceiptPainter {
 public:
  static constexpr size_t kHeldReceipts = 50;  // as many as the viewer replays
  static constexpr size_t kMaxHeldBytes = size_t{16} << 20;

  ReceiptPictures(RenderSettings settings, bool maskCardNumbers);

  void OnReceipt(const ReceiptRecord& receipt) override;
  bool PictureOf(uint64_t sequence, std::string& png) override;
  std::string_view Paint(const ReceiptRecord& receipt) override;

 private:
  struct Held {
    uint64_t sequence = 0;
    bool withheld = false;  // a card number in it
    std::string bytes;      // capacity kept from receipt to receipt
    std::string png;        // drawn as it came (Paint); empty: drawn when asked for
  };

  void Hold(const ReceiptRecord& receipt);
  Held& Oldest() { return held_[(next_ + kHeldReceipts - count_) % kHeldReceipts]; }
  void LetGoOldest();
  bool Withheld(const ReceiptRecord& receipt);

  ReceiptRenderer renderer_;
  bool maskCardNumbers_;
  std::array<Held, kHeldReceipts> held_{};
  size_t next_ = 0;   // where the next receipt goes
  size_t count_ = 0;  // held, the newest at next_ - 1
  size_t heldBytes_ = 0;
  PrinterState before_;  // the state before the oldest held receipt
  PrinterState newest_;  // the state after the last receipt painted
  uint64_t painted_ = 0;  // the receipt Paint saw last
  bool paintedWithheld_ = false;
  std::string png_;       // its picture
  CardNumberCheck cardNumbers_;
};

}  // namespace tavrik
