#pragma once
// Frames decoded and numbered as the receipt pipeline does, for the tests of
// a receipt listener on its own.
#include <cstdint>
#include <string>
#include <string_view>

#include "pipeline/ReceiptRecord.h"
#include "receipt/ReceiptDecoder.h"

namespace tavrik::test {

class TestReceipts {
 public:
  static constexpr int64_t kEpochMs = 1796644800000;  // 2026-12-07 12:00:00 UTC

  // Numbered from after + 1, as after a journal's last receipt.
  explicit TestReceipts(uint64_t after = 0) : sequence_(after) {}

  // The next receipt, of frame; valid until the next call.
  const ReceiptRecord& Next(const std::string& frame, const std::string& time = "2026-12-07 12:00:00") {
    bytes_ = frame;
    time_ = time;
    decoder_.Decode(bytes_, text_);
    record_ = {++sequence_, time_, kEpochMs, 0, bytes_, text_.cut, &text_};
    return record_;
  }

 private:
  ReceiptDecoder decoder_;
  ReceiptText text_;
  std::string bytes_;
  std::string time_;
  uint64_t sequence_;
  ReceiptRecord record_;
};

}  // namespace tavrik::test
