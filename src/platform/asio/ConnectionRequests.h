#pragma once
// Accepted TCP connections held under a request id between a listener's
// ConnectionRequest event and the Accept that takes them over.
#include <asio/ip/tcp.hpp>
#include <cstdint>
#include <map>
#include <optional>

namespace tavrik {

class ConnectionRequests {
 public:
  int32_t Hold(asio::ip::tcp::socket connection);
  // Removes and returns the connection held under id, if any.
  std::optional<asio::ip::tcp::socket> Take(int32_t id);
  // Closes a connection that nobody accepted.
  void Drop(int32_t id);

 private:
  int32_t nextId_ = 0;
  std::map<int32_t, asio::ip::tcp::socket> held_;
};

}  // namespace tavrik
