#pragma once
// Draws each receipt's picture as it comes, before the matcher and the
// listeners see it, for the outputs that send it along (ReceiptRecord::png):
// once per receipt, whoever uses it. Event thread only; must not throw.
#include <string_view>

#include "pipeline/ReceiptRecord.h"

namespace tavrik {

class ReceiptPainter {
 public:
  virtual ~ReceiptPainter() = default;
  // The receipt's PNG, valid until the next call; empty when it gets none.
  virtual std::string_view Paint(const ReceiptRecord& receipt) = 0;
};

}  // namespace tavrik
