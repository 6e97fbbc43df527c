#pragma once
// Receiver of finished multipart parts: the client push server.
#include "platform/Payload.h"

namespace tavrik {

class PartSink {
 public:
  virtual ~PartSink() = default;
  virtual void SendToClients(const Payload& part) = 0;
};

}  // namespace tavrik
