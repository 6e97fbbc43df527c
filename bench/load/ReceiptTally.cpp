#include "load/ReceiptTally.h"

namespace tavrik::load {

void ReceiptTally::Receive(uint64_t seq) {
  if (seq <= highest_) {
    ++duplicated_;
    return;
  }
  gaps_ += seq - highest_ - 1;
  highest_ = seq;
  ++received_;
}

uint64_t ReceiptTally::Lost(uint64_t lastSent) const {
  return gaps_ + (lastSent > highest_ ? lastSent - highest_ : 0);
}

}  // namespace tavrik::load
