#include "pictures/ReceiptPictures.h"

#include <exception>

#include "log/LogFailure.h"
#include "png/PngWriter.h"

namespace tavrik {

ReceiptPictures::ReceiptPictures(RenderSettings settings, bool maskCardNumbers)
    : renderer_(settings), maskCardNumbers_(maskCardNumbers) {}

std::string_view ReceiptPictures::Paint(const ReceiptRecord& receipt) {
  png_.clear();
  painted_ = receipt.sequence;
  try {
    paintedWithheld_ = maskCardNumbers_ && cardNumbers_.Holds(receipt.bytes);
    if (paintedWithheld_) {
      renderer_.Advance(receipt.bytes, newest_);
    } else if (!PngWriter::Write(renderer_.Render(receipt.bytes, newest_).paper, png_)) {
      png_.clear();
    }
  } catch (const std::exception& e) {
    LogFailure("Receipt pictures error: ", e);
    png_.clear();
  }
  return png_;
}

void ReceiptPictures::OnReceipt(const ReceiptRecord& receipt) {
  try {
    Hold(receipt);
  } catch (const std::exception& e) {
    // Out of memory: the pictures start over, the receipts still go everywhere else.
    LogFailure("Receipt pictures error: ", e);
    for (Held& held : held_) held = Held{};
    count_ = 0;
    heldBytes_ = 0;
  }
}

void ReceiptPictures::Hold(const ReceiptRecord& receipt) {
  const size_t size = receipt.bytes.size() + receipt.png.size();
  while (count_ > 0 && (count_ == kHeldReceipts || heldBytes_ + size > kMaxHeldBytes)) LetGoOldest();
  if (size > kMaxHeldBytes) {  // too big to hold: only its state is kept
    renderer_.Advance(receipt.bytes, before_);
    return;
  }
  Held& held = held_[next_];
  held.sequence = receipt.sequence;
  held.withheld = Withheld(receipt);
  held.bytes.assign(receipt.bytes);
  held.png.assign(receipt.png);
  next_ = (next_ + 1) % kHeldReceipts;
  ++count_;
  heldBytes_ += size;
}

bool ReceiptPictures::Withheld(const ReceiptRecord& receipt) {
  if (painted_ == receipt.sequence && painted_ != 0) return paintedWithheld_;
  return maskCardNumbers_ && cardNumbers_.Holds(receipt.bytes);
}

bool ReceiptPictures::PictureOf(uint64_t sequence, std::string& png) {
  PrinterState state = before_;
  for (size_t k = 0; k < count_; ++k) {
    const Held& held = held_[(next_ + kHeldReceipts - count_ + k) % kHeldReceipts];
    if (held.sequence == sequence) {
      if (held.withheld) return false;
      if (!held.png.empty()) {
        png = held.png;
        return true;
      }
      return PngWriter::Write(renderer_.Render(held.bytes, state).paper, png);
    }
    renderer_.Advance(held.bytes, state);
  }
  return false;
}

void ReceiptPictures::LetGoOldest() {
  Held& oldest = Oldest();
  renderer_.Advance(oldest.bytes, before_);
  heldBytes_ -= oldest.bytes.size() + oldest.png.size();
  oldest.bytes.clear();
  oldest.png.clear();
  --count_;
}

}  // namespace tavrik
