#pragma once
// One receipt as the journal keeps it, read back.
#include <cstdint>
#include <string>

namespace tavrik {

struct StoredReceipt {
  uint64_t seq = 0;
  std::string time;  // local "YYYY-MM-DD HH:MM:SS"
  int64_t epochMs = 0;
  int32_t utcOffsetMinutes = 0;
  bool cut = false;
  std::string text;
  // JSON arrays as stored ("[]" when the receipt has none).
  std::string drawer;
  std::string codes;
  std::string images;
  std::string rules;
  int64_t rawBytes = -1;  // size of the stored frame; -1: not stored
};

}  // namespace tavrik
