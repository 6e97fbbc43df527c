#pragma once
// The pictures of the journal's receipts (kept with their bytes): each drawn
// from its frame alone, from the printer's power-on state, since the frames
// before it are not read. A POS job normally begins with ESC @, which brings
// the printer to that state anyway, so the picture is the one the web port
// gave while the receipt was held. While card numbers are masked, a receipt
// whose text holds one gets none.
// Runs on the journal reader's worker: one call at a time, never on the
// event thread.
#include <string>
#include <string_view>

#include "pictures/CardNumberCheck.h"
#include "render/ReceiptRenderer.h"
#include "search/ReceiptArchive.h"

namespace tavrik {

class StoredPictureMaker {
 public:
  StoredPictureMaker(RenderSettings settings, bool maskCardNumbers);
  // A maker for the journal's reader (JournalApi::SetPictureMaker).
  static FrameUse ForArchive(RenderSettings settings, bool maskCardNumbers);

  // The PNG of frame into png; false when it gets none.
  bool Make(std::string_view frame, std::string& png);

 private:
  ReceiptRenderer renderer_;
  bool maskCardNumbers_;
  CardNumberCheck cardNumbers_;
};

}  // namespace tavrik
