#pragma once
// One finished frame as the assembler hands it to its listener. Everything
// it points to is valid only during the call.
#include <string_view>

namespace tavrik {

struct FrameRecord {
  std::string_view bytes;  // the raw frame as the printer would get it
  bool cut = false;        // the frame was ended by a paper cut command
};

}  // namespace tavrik
