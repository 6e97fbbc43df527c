#pragma once
// Copies chunks into reusable shared buffers, so that forwarding a stream
// chunk by chunk allocates nothing once the pool is warm: a buffer is reused
// as soon as no socket queues a Payload of it any more. Event thread only.
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Payload.h"

namespace tavrik {

class PayloadPool {
 public:
  // Buffers kept for reuse; more are made while many chunks wait at once,
  // and dropped when they come back.
  static constexpr std::size_t kMaxKept = 8;

  Payload Copy(std::string_view bytes);

 private:
  std::vector<std::shared_ptr<std::string>> kept_;
};

}  // namespace tavrik
