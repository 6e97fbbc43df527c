#pragma once
// Receiver of finished multipart parts: the relay, which hands them on to
// every streaming client.
#include <string_view>

#include "platform/Payload.h"

namespace tavrik {

class PartSink {
 public:
  virtual ~PartSink() = default;
  virtual void Broadcast(const Payload& part) = 0;
  // The finished frame's own bytes, told just before its part is broadcast;
  // the view is valid during the call only.
  virtual void FrameFinished(std::string_view /*frame*/) {}
};

}  // namespace tavrik
