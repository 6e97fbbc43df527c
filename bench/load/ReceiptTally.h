#pragma once
// One client's account of the receipts it got: each must come once, in
// order. A jump ahead counts the skipped receipts as lost; a receipt at or
// below one already seen counts as duplicated or out of order.
#include <cstdint>

namespace tavrik::load {

class ReceiptTally {
 public:
  void Receive(uint64_t seq);
  // Receipts up to lastSent that never came (gaps plus the missing tail).
  uint64_t Lost(uint64_t lastSent) const;
  uint64_t Received() const { return received_; }
  uint64_t Highest() const { return highest_; }
  uint64_t Duplicated() const { return duplicated_; }

 private:
  uint64_t highest_ = 0;  // receipts are numbered from 1
  uint64_t received_ = 0;
  uint64_t gaps_ = 0;
  uint64_t duplicated_ = 0;
};

}  // namespace tavrik::load
