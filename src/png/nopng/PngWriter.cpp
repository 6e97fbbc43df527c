// Built without libpng (the Windows build): no picture is encoded, so the
// web port answers a picture's address with 404.
#include "png/PngWriter.h"

namespace tavrik {

bool PngWriter::Available() { return false; }

bool PngWriter::Write(const PaperImage&, std::string& out) {
  out.clear();
  return false;
}

}  // namespace tavrik
