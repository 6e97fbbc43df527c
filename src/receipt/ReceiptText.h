#pragma once
// The text of one frame, as ReceiptDecoder makes it, with its facts.
#include <string>

#include "receipt/ReceiptFacts.h"

namespace tavrik {

// Reused by the caller from frame to frame: Decode clears it and keeps the
// capacity, so a warmed-up decoder allocates nothing.
struct ReceiptText {
  std::string text;  // UTF-8, lines ended by '\n'
  bool cut = false;  // the frame holds a paper cut (GS V, ESC i, ESC m)
  ReceiptFacts facts{};  // an initializer, so {text, cut} stays a complete aggregate
};

}  // namespace tavrik
