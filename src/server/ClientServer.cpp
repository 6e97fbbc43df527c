#include "server/ClientServer.h"

#include <algorithm>

#include "log/Log.h"
#include "log/LogFailure.h"
#include "platform/PlatformError.h"
#include "server/ResponseHead.h"

namespace tavrik {
namespace {

// A large request must not pin its scratch memory for the life of the relay.
constexpr size_t kMaxKeptRequestCapacity = 65536;

}  // namespace

class ClientServer::ListenerEvents : public SocketEvents {
 public:
  explicit ListenerEvents(ClientServer& server) : server_(server) {}
  void OnConnectionRequest(int32_t requestId) override { server_.OnConnectionRequest(requestId); }
  void OnClosed() override { server_.listenerFailed_(); }
  void OnError(int number, const std::string& description) override {
    LogLazy(LogLevel::kError,
            [&] { return "ListenSock.Error: " + std::to_string(number) + " - " + description; });
    server_.listenerFailed_();
  }

 private:
  ClientServer& server_;
};

ClientServer::ClientServer(Platform& platform, std::function<void()> listenerFailed)
    : platform_(platform),
      listenerFailed_(std::move(listenerFailed)),
      listenerEvents_(std::make_unique<ListenerEvents>(*this)),
      listener_(platform.CreateSocket()),
      clients_(platform, *this, kMaxClients) {
  listener_->SetEvents(listenerEvents_.get());
  clients_.Add();
}

ClientServer::~ClientServer() = default;

void ClientServer::Listen(int port) {
  if (!IsListenerClosed()) listener_->Close();
  listener_->Listen(port);
}

void ClientServer::CloseListener() { listener_->Close(); }

bool ClientServer::IsListenerClosed() const { return listener_->State() == SocketState::kClosed; }

void ClientServer::OnConnectionRequest(int32_t requestId) {
  try {
    LogLazy(LogLevel::kData, [&] { return "Connection request:" + listener_->RemoteHost(); });
    const std::optional<int> index = FreeClientIndex();
    if (!index) return;  // all taken: the request is closed
    Client& client = clients_[*index];
    client.headSent = false;
    client.heldBack.clear();
    client.heldBackBytes = 0;
    client.heldBackParts = 0;
    clients_.Accept(*index, requestId);
    LogLazy(LogLevel::kProgress, [&] { return "Connected to Winsock(" + std::to_string(*index) + "),"; });
    platform_.Loop().RunPending();
  } catch (const std::exception& e) {
    // A failed accept costs this request only; the relay goes on serving.
    LogFailure("ConnectionRequest error: ", e);
  }
}

// The first closed socket, or a new one while fewer than kMaxClients exist.
// A socket left over from a connection that failed or was closed by its peer
// is closed on the way, free for the next request but not this one.
std::optional<int> ClientServer::FreeClientIndex() {
  const int count = SocketCount();
  for (int i = 0; i < count; ++i) {
    Socket& socket = clients_.SocketAt(i);
    const SocketState state = socket.State();
    if (state == SocketState::kConnected) continue;
    if (state == SocketState::kClosed) return i;
    socket.Close();
  }
  if (count >= kMaxClients) return std::nullopt;
  return clients_.Add();
}

void ClientServer::CloseClient(int index) {
  if (index < 0 || index >= SocketCount()) return;
  LogLazy(LogLevel::kClientClosed, [&] { return "CloseConnection(" + std::to_string(index) + ")."; });
  clients_[index].headSent = false;
  clients_.SocketAt(index).Close();
}

void ClientServer::CloseAllClients() {
  for (int i = 0; i < SocketCount(); ++i) CloseClient(i);
}

void ClientServer::AbortAllClients() {
  for (int i = 0; i < SocketCount(); ++i) clients_.SocketAt(i).Close();
}

void ClientServer::OnSlotData(int index) {
  try {
    const uint32_t connection = clients_.Connection(index);
    clients_.SocketAt(index).Read(request_);
    if (request_.capacity() > kMaxKeptRequestCapacity) std::string().swap(request_);
    platform_.Loop().RunPending();
    // Pending events may have closed this connection and accepted the next
    // one into its slot: that one has not spoken yet, or spoke for itself.
    if (clients_.Connection(index) != connection) return;
    Client& client = clients_[index];
    if (client.headSent) {  // a client speaks once; more is not the protocol
      CloseClient(index);
      return;
    }
    client.headSent = true;
    clients_.SocketAt(index).Send(ResponseHead());
  } catch (const std::exception& e) {
    // For instance the peer went away meanwhile: close this client.
    const FailureInfo failure = DescribeFailure(e);
    OnSlotError(index, failure.number, failure.description);
  }
}

void ClientServer::OnSlotError(int index, int number, const std::string& description) {
  LogLazy(LogLevel::kError, [&] {
    return "Winsock(" + std::to_string(index) + ").Error: " + std::to_string(number) + " - " + description;
  });
  CloseClient(index);
}

void ClientServer::Broadcast(const Payload& part) {
  for (int i = 0; i < SocketCount(); ++i) {
    if (!clients_[i].headSent || clients_.SocketAt(i).State() != SocketState::kConnected) continue;
    try {
      SendToClient(i, part);
    } catch (const std::exception& e) {
      // One client's failing send closes that client only; the rest still get the part.
      const FailureInfo failure = DescribeFailure(e);
      OnSlotError(i, failure.number, failure.description);
    }
  }
}

void ClientServer::SendToClient(int index, const Payload& part) {
  Client& client = clients_[index];
  const auto partLength = static_cast<int64_t>(part.size());
  if (clients_.UnsentBytes(index) >= kHoldBackBytes) {
    if (client.heldBackBytes > kHeldBackCap) {
      partsDropped_ += client.heldBackParts;
      client.heldBack.clear();
      client.heldBackBytes = 0;
      client.heldBackParts = 0;
    }
    if (client.heldBack.empty() || !client.heldBack.back().TryJoin(part)) client.heldBack.push_back(part);
    client.heldBackBytes += partLength;
    ++client.heldBackParts;
    ++partsHeldBack_;
    return;
  }
  if (client.heldBack.empty()) {
    clients_.Send(index, part);
    return;
  }
  if (!client.heldBack.back().TryJoin(part)) client.heldBack.push_back(part);
  clients_.Send(index, client.heldBack);
  client.heldBack.clear();
  client.heldBackBytes = 0;
  client.heldBackParts = 0;
}

int ClientServer::StreamingCount() const {
  int count = 0;
  for (int i = 0; i < SocketCount(); ++i) count += IsStreaming(i) ? 1 : 0;
  return count;
}

bool ClientServer::IsStreaming(int index) const {
  return clients_[index].headSent && clients_.SocketAt(index).State() == SocketState::kConnected;
}

int32_t ClientServer::UnsentBytes(int index) const {
  return static_cast<int32_t>(std::min<int64_t>(clients_.UnsentBytes(index), INT32_MAX));
}

int64_t ClientServer::HeldBackBytes(int index) const { return clients_[index].heldBackBytes; }

size_t ClientServer::HeldBackRuns(int index) const { return clients_[index].heldBack.size(); }

}  // namespace tavrik
