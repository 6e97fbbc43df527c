#pragma once
// Receiver of every receipt, called on the event thread a moment after its
// frame went to the clients. Must not keep the record's views, nor throw.
#include "pipeline/ReceiptRecord.h"

namespace tavrik {

class ReceiptListener {
 public:
  virtual ~ReceiptListener() = default;
  virtual void OnReceipt(const ReceiptRecord& receipt) = 0;
};

}  // namespace tavrik
