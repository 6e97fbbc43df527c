#include "pictures/ReceiptPictures.h"

#include "png/PngWriter.h"
#include "receipt/CardNumbers.h"

namespace tavrik {

ReceiptPictures::ReceiptPictures(RenderSettings settings, bool maskCardNumbers)
    : renderer_(settings), maskCardNumbers_(maskCardNumbers) {}

void ReceiptPictures::OnReceipt(const ReceiptRecord& receipt) {
  const std::string_view bytes = receipt.bytes;
  while (count_ > 0 && (count_ == kHeldReceipts || heldBytes_ + bytes.size() > kMaxHeldBytes)) LetGoOldest();
  if (bytes.size() > kMaxHeldBytes) {  // too big to hold: only its state is kept
    renderer_.Advance(bytes, before_);
    return;
  }
  Held& held = held_[next_];
  held.sequence = receipt.sequence;
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
