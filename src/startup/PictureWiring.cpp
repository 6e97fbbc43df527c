#include "startup/PictureWiring.h"

#include <algorithm>

#include "pictures/StoredPictureMaker.h"

namespace tavrik {
namespace {

bool SendsPictures(const OutputsConfig& config) {
  return (config.mqtt && config.mqtt->png) ||
         std::any_of(config.events.begin(), config.events.end(),
                     [](const EventOutputConfig& event) { return event.png; });
}

}  // namespace

std::unique_ptr<ReceiptPictures> StartPictures(const OutputsConfig& config, Relay& relay) {
  WebServer* web = config.render.pictures ? relay.Web() : nullptr;
  const bool sends = SendsPictures(config);
  if (web == nullptr && !sends) return nullptr;
  const RenderSettings settings{static_cast<uint32_t>(config.render.widthDots), ReceiptRenderer::kMaxRows};
  auto pictures = std::make_unique<ReceiptPictures>(settings, config.maskCardNumbers);
  if (sends) relay.SetReceiptPainter(*pictures);
  if (web != nullptr) {
    relay.AddReceiptListener(*pictures);
    web->SetPictureSource(pictures.get());
    web->SetStoredPictureMaker(StoredPictureMaker::ForArchive(settings, config.maskCardNumbers));
  }
  return pictures;
}

}  // namespace tavrik
