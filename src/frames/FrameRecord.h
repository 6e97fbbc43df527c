#pragma once
// One finished frame as the relay hands it to its frame listeners (outputs,
// viewers). Everything it points to is valid only during the call.
#include <cstdint>
#include <string_view>

namespace tavrik {

struct ReceiptText;

struct FrameRecord {
  uint64_t sequence = 0;        // 1 for the first frame since start
  std::string_view time;        // local "YYYY-MM-DD HH:MM:SS" when the frame was finished
  std::string_view bytes;       // the raw frame as the printer would get it
  bool cut = false;             // the frame was ended by a paper cut command
  const ReceiptText* text = nullptr;  // the decoded text; set by the relay
};

}  // namespace tavrik
