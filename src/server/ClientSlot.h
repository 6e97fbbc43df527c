#pragma once
// What the relay knows of one client connection, indexed like the sockets.
#include <cstdint>
#include <vector>

#include "platform/Payload.h"

namespace tavrik {

struct ClientSlot {
  uint8_t HeaderSent = 0;     // 1: the response head went out; the client streams
  int32_t BytesPending = 0;   // handed to the socket, not yet reported sent
  std::vector<Payload> Backlog;  // parts held back while the client is slow
  int64_t BacklogLength = 0;     // bytes in Backlog
};

}  // namespace tavrik
