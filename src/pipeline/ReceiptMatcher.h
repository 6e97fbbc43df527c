#pragma once
// Sees each receipt before every receipt listener and names the rules it
// matched; the names reach the listeners in the record (ReceiptRecord::rules),
// so that one, e.g. a journal, can keep them. Event thread only; must not throw.
#include <span>
#include <string_view>

#include "pipeline/ReceiptRecord.h"

namespace tavrik {

class ReceiptMatcher {
 public:
  virtual ~ReceiptMatcher() = default;
  // The names stay valid until the next call.
  virtual std::span<const std::string_view> Match(const ReceiptRecord& receipt) = 0;
};

}  // namespace tavrik
