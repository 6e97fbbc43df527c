#pragma once
// Puts the receipt pictures to work (start-up only): on the web port with
// [render] pictures = true (the held receipts, and the journal's older ones
// kept with their bytes), and drawn as each receipt comes where MQTT or a
// webhook sends them along (png = true), which needs no [render] pictures.
// Null where nothing uses them. Must outlive the relay, which feeds it.
#include <memory>

#include "controller/Relay.h"
#include "outputs/OutputsConfig.h"
#include "pictures/ReceiptPictures.h"

namespace tavrik {

std::unique_ptr<ReceiptPictures> StartPictures(const OutputsConfig& config, Relay& relay);

}  // namespace tavrik
