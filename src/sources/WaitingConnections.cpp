#include "sources/WaitingConnections.h"

namespace tavrik {

void WaitingConnections::Hold(int32_t requestId) {
  auto connection = std::make_unique<Connection>();
  connection->socket = platform_.CreateSocket();
  connection->socket->SetEvents(connection.get());
  connection->socket->Accept(requestId);
  // Its bytes stay with the kernel until its turn, so the peer's TCP window
  // holds it back rather than our memory.
  connection->socket->PauseReading();
  waiting_.push_back(std::move(connection));
}

std::unique_ptr<WaitingConnections::Connection> WaitingConnections::TakeNext() {
  if (waiting_.empty()) return nullptr;
  std::unique_ptr<Connection> next = std::move(waiting_.front());
  waiting_.pop_front();
  return next;
}

}  // namespace tavrik
