#include "pictures/ReceiptPictures.h"

#include <exception>

#include "log/LogFailure.h"
#include "png/PngWriter.h"
#include "receipt/CardNumbers.h"

namespace tavrik {

ReceiptPictures::ReceiptPictures(RenderSettings settings, bool maskCardNumbers)
    : renderer_(settings), maskCardNumbers_(maskCardNumbers) {}

void ReceiptPictures::OnReceipt(const ReceiptRecord& receipt) {
  try {
    Hold(receipt.sequence, receipt.bytes);
  } catch (const std::exception& e) {
    // Out of memory: the pictures start over, the receipts still go everywhere else.
    LogFailure("Receipt pictures error: ", e);
    for (Held& held : held_) held = Held{};
    count_ = 0;
    heldBytes_ = 0;
  }
}

void ReceiptPictures::Hold(uint64_t sequence, std::string_view bytes) {
  while (count_ > 0 && (count_ == kHeldReceipts || heldBytes_ + bytes.size() > kMaxHeldBytes)) LetGoOldest();
  if (bytes.size() > kMaxHeldBytes) {  // too big to hold: only its state is kept
    renderer_.Advance(bytes, before_);
    return;
  }
  Held& held = held_[next_];
  held.sequence = sequence;
  held.withheld = maskCardNumbers_ && HoldsCardNumber(bytes);
  held.bytes.assign(bytes);
  next_ = (next_ + 1) % kHeldReceipts;
  ++count_;
  heldBytes_ += bytes.size();
}

bool ReceiptPictures::PictureOf(uint64_t sequence, std::string& png) {
  PrinterState state = before_;
  for (size_t k = 0; k < count_; ++k) {
    const Held& held = held_[(next_ + kHeldReceipts - count_ + k) % kHeldReceipts];
    if (held.sequence == sequence) {
      if (held.withheld) return false;
      return PngWriter::Write(renderer_.Render(held.bytes, state).paper, png);
    }
    renderer_.Advance(held.bytes, state);
  }
  return false;
}

void ReceiptPictures::LetGoOldest() {
  Held& oldest = Oldest();
  renderer_.Advance(oldest.bytes, before_);
  heldBytes_ -= oldest.bytes.size();
  oldest.bytes.clear();
  --count_;
}

// The frame decoded on its own: its digits are ASCII whatever the code page.
bool ReceiptPictures::HoldsCardNumber(std::string_view bytes) {
  decoder_.Reset();
  decoder_.Decode(bytes, text_);
  return MaskCardNumbers(text_) > 0;
}

}  // namespace tavrik
