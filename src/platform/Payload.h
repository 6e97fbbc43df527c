#pragma once
// An immutable block of bytes that may be queued on many sockets at once.
#include <memory>
#include <string>

namespace tavrik {

using Payload = std::shared_ptr<const std::string>;

inline Payload MakePayload(std::string bytes) {
  return std::make_shared<const std::string>(std::move(bytes));
}

}  // namespace tavrik
