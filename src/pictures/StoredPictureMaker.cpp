#include "pictures/StoredPictureMaker.h"

#include <memory>

#include "png/PngWriter.h"

namespace tavrik {

StoredPictureMaker::StoredPictureMaker(RenderSettings settings, bool maskCardNumbers)
    : renderer_(settings), maskCardNumbers_(maskCardNumbers) {}

FrameUse StoredPictureMaker::ForArchive(RenderSettings settings, bool maskCardNumbers) {
  auto maker = std::make_shared<StoredPictureMaker>(settings, maskCardNumbers);
  return [maker](std::string_view frame, std::string& png) { return maker->Make(frame, png); };
}

bool StoredPictureMaker::Make(std::string_view frame, std::string& png) {
  if (maskCardNumbers_ && cardNumbers_.Holds(frame)) return false;
  PrinterState powerOn;
  return PngWriter::Write(renderer_.Render(frame, powerOn).paper, png);
}

}  // namespace tavrik
