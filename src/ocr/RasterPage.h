#pragma once
// The images of one receipt laid out as the paper shows them: one below the
// other, at the left edge, each in its own bit layout (rows for GS v 0 and
// graphics, columns for ESC * bands and GS * images) and scaled as its mode
// says. Bounded: at most kMaxWidth dots wide and kMaxHeight rows (a longer
// receipt is cut there). Pure.
#include <cstdint>

#include "ocr/PageImage.h"
#include "receipt/ReceiptFacts.h"

namespace tavrik {

inline constexpr uint32_t kPageMaxWidth = 4096;
inline constexpr uint32_t kPageMaxHeight = 8000;

PageImage RasterPage(const ReceiptFacts& facts);

}  // namespace tavrik
