#include "platform/asio/ConnectionRequests.h"

namespace tavrik {

int32_t ConnectionRequests::Hold(asio::ip::tcp::socket connection) {
  nextId_ = nextId_ == INT32_MAX ? 1 : nextId_ + 1;
  held_.insert_or_assign(nextId_, std::move(connection));
  return nextId_;
}

std::optional<asio::ip::tcp::socket> ConnectionRequests::Take(int32_t id) {
  auto it = held_.find(id);
  if (it == held_.end()) return std::nullopt;
  std::optional<asio::ip::tcp::socket> connection(std::move(it->second));
  held_.erase(it);
  return connection;
}

void ConnectionRequests::Drop(int32_t id) {
  auto it = held_.find(id);
  if (it == held_.end()) return;
  asio::error_code ignored;
  it->second.close(ignored);
  held_.erase(it);
}

}  // namespace tavrik
