#pragma once
// The receipt picture as a PNG file in memory: 1-bit grayscale, black ink on
// white paper, with libpng. Pure: no I/O.
#include <string>

#include "render/PaperImage.h"

namespace tavrik {

class PngWriter {
 public:
  // False in a build without libpng, where Write makes nothing.
  static bool Available();
  // The PNG of paper into out (replaced); false if libpng failed, which
  // leaves out empty. An image with no rows is written one blank row tall.
  static bool Write(const PaperImage& paper, std::string& out);
};

}  // namespace tavrik
