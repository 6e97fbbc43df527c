#include "pictures/CardNumberCheck.h"

#include "receipt/CardNumbers.h"

namespace tavrik {

// The frame decoded on its own: its digits are ASCII whatever the code page.
bool CardNumberCheck::Holds(std::string_view frame) {
  decoder_.Reset();
  decoder_.Decode(frame, text_);
  return MaskCardNumbers(text_) > 0;
}

}  // namespace tavrik
