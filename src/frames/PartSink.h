#pragma once
// Receiver of finished multipart parts: the relay, which hands them on to
// every streaming client.
#include "platform/Payload.h"

namespace tavrik {

class PartSink {
 public:
  virtual ~PartSink() = default;
  virtual void Broadcast(const Payload& part) = 0;
};

}  // namespace tavrik
