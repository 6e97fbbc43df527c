#pragma once
// One receipt as the pipeline hands it to its listeners (viewers, outputs):
// a finished frame with visible text or a fact, numbered and decoded once.
// Everything it points to is valid only during the call.
#include <cstdint>
#include <span>
#include <string_view>

#include "receipt/ReceiptText.h"

namespace tavrik {

struct ReceiptRecord {
  uint64_t sequence = 0;          // 1 for the first receipt, or one above a journal's last
  std::string_view time;          // local "YYYY-MM-DD HH:MM:SS" when the frame was finished
  int64_t epochMs = 0;            // the same moment in Unix milliseconds
  int32_t utcOffsetMinutes = 0;   // local time minus UTC then
  std::string_view bytes;         // the raw frame as the printer would get it
  bool cut = false;               // the frame was ended by a paper cut command
  const ReceiptText* text = nullptr;  // its decoded text and facts; never null
  std::span<const std::string_view> rules{};  // the names of the rules it matched (see ReceiptMatcher)
  bool recognized = false;        // the text was read from the receipt's images
  std::string_view png{};         // its picture, where an output asked for one (ReceiptPainter)
};

}  // namespace tavrik
