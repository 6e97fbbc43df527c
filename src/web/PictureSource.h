#pragma once
// Where the web port gets the picture of a held receipt from (see
// pictures/ReceiptPictures.h); event thread only.
#include <cstdint>
#include <string>

namespace tavrik {

class PictureSource {
 public:
  virtual ~PictureSource() = default;
  // The PNG of receipt `sequence` into png; false when there is none to give.
  virtual bool PictureOf(uint64_t sequence, std::string& png) = 0;
};

}  // namespace tavrik
