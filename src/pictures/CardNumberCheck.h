#pragma once
// Whether a frame's text holds a card number: a picture drawn from its
// unmasked bytes would show it, so such a receipt gets none while card
// numbers are masked. Keeps its decoder's buffers from call to call.
#include <string_view>

#include "receipt/ReceiptDecoder.h"

namespace tavrik {

class CardNumberCheck {
 public:
  bool Holds(std::string_view frame);

 private:
  ReceiptDecoder decoder_;
  ReceiptText text_;
};

}  // namespace tavrik
