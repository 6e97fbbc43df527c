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

class ClientServer::ClientEvents : public SocketEvents {
 public:
  ClientEvents(ClientServer& server, int index) : server_(server), index_(index) {}
  void OnData() override { server_.OnClientData(index_); }
  void OnSendProgress(int32_t, int32_t bytesRemaining) override {
    server_.OnClientSendProgress(index_, bytesRemaining);
  }
  void OnSendComplete() override { server_.OnClientSendComplete(index_); }
  void OnClosed() override { server_.CloseClient(index_); }
  void OnError(int number, const std::string& description) override {
    server_.OnClientError(index_, number, description);
  }

 private:
  ClientServer& server_;
  int index_;
};

ClientServer::ClientServer(Platform& platform, std::function<void()> listenerFailed)
    : platform_(platform),
      listenerFailed_(std::move(listenerFailed)),
      listenerEvents_(std::make_unique<ListenerEvents>(*this)),
      listener_(platform.CreateSocket()) {
  listener_->SetEvents(listenerEvents_.get());
  clients_.reserve(kMaxClients);
  AddClientSocket();
}

ClientServer::~ClientServer() = default;

void ClientServer::AddClientSocket() {
  Client client;
  client.events = std::make_unique<ClientEvents>(*this, static_cast<int>(clients_.size()));
  client.socket = platform_.CreateSocket();
  client.socket->SetEvents(client.events.get());
  clients_.push_back(std::move(client));
}

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
    Client& client = clients_[static_cast<size_t>(*index)];
    ++client.connection;
    client.headSent = false;
    client.unsentBytes = 0;
    client.heldBack.clear();
    client.heldBackBytes = 0;
    client.heldBackParts = 0;
    client.socket->Accept(requestId);
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
    Socket& socket = *clients_[static_cast<size_t>(i)].socket;
    const SocketState state = socket.State();
    if (state == SocketState::kConnected) continue;
    if (state == SocketState::kClosed) return i;
    socket.Close();
  }
  if (count >= kMaxClients) return std::nullopt;
  AddClientSocket();
  return count;
}

void ClientServer::CloseClient(int index) {
  if (index < 0 || index >= SocketCount()) return;
  LogLazy(LogLevel::kClientClosed, [&] { return "CloseConnection(" + std::to_string(index) + ")."; });
  Client& client = clients_[static_cast<size_t>(index)];
  client.headSent = false;
  client.socket->Close();
}

void ClientServer::CloseAllClients() {
  for (int i = 0; i < SocketCount(); ++i) CloseClient(i);
}

void ClientServer::AbortAllClients() {
  for (Client& client : clients_) client.socket->Close();
}

void ClientServer::OnClientData(int index) {
  try {
    const uint32_t connection = clients_[static_cast<size_t>(index)].connection;
    clients_[static_cast<size_t>(index)].socket->Read(request_);
    if (request_.capacity() > kMaxKeptRequestCapacity) std::string().swap(request_);
    platform_.Loop().RunPending();
    // Looked up after running pending events: a new client may have been added.
    Client& client = clients_[static_cast<size_t>(index)];
    // They may also have closed this connection and accepted the next one into
    // its slot: that one has not spoken yet, or spoke for itself.
    if (client.connection != connection) return;
    if (client.headSent) {  // a client speaks once; more is not the protocol
      CloseClient(index);
      return;
    }
    client.headSent = true;
    client.socket->Send(ResponseHead());
  } catch (const std::exception& e) {
    // For instance the peer went away meanwhile: close this client.
    const FailureInfo failure = DescribeFailure(e);
    OnClientError(index, failure.number, failure.description);
  }
}

void ClientServer::OnClientSendProgress(int index, int32_t bytesRemaining) {
  clients_[static_cast<size_t>(index)].unsentBytes = bytesRemaining;
}

void ClientServer::OnClientSendComplete(int index) { clients_[static_cast<size_t>(index)].unsentBytes = 0; }

void ClientServer::OnClientError(int index, int number, const std::string& description) {
  LogLazy(LogLevel::kError, [&] {
    return "Winsock(" + std::to_string(index) + ").Error: " + std::to_string(number) + " - " + description;
  });
  CloseClient(index);
}

void ClientServer::Broadcast(const Payload& part) {
  for (int i = 0; i < SocketCount(); ++i) {
    Client& client = clients_[static_cast<size_t>(i)];
    if (client.socket->State() != SocketState::kConnected || !client.headSent) continue;
    try {
      SendToClient(client, part);
    } catch (const std::exception& e) {
      // One client's failing send closes that client only; the rest still get the part.
      const FailureInfo failure = DescribeFailure(e);
      OnClientError(i, failure.number, failure.description);
    }
  }
}

void ClientServer::SendToClient(Client& client, const Payload& part) {
  const auto partLength = static_cast<int64_t>(part.size());
  if (client.unsentBytes >= kHoldBackBytes) {
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
  const int64_t sending = client.heldBackBytes + partLength;
  if (client.heldBack.empty()) {
    client.socket->Send(part);
  } else {
    if (!client.heldBack.back().TryJoin(part)) client.heldBack.push_back(part);
    client.socket->Send(client.heldBack);
    client.heldBack.clear();
    client.heldBackBytes = 0;
    client.heldBackParts = 0;
  }
  client.unsentBytes = static_cast<int32_t>(std::min<int64_t>(client.unsentBytes + sending, INT32_MAX));
}

int ClientServer::StreamingCount() const {
  int count = 0;
  for (int i = 0; i < SocketCount(); ++i) count += IsStreaming(i) ? 1 : 0;
  return count;
}

bool ClientServer::IsStreaming(int index) const {
  const Client& client = clients_.at(static_cast<size_t>(index));
  return client.headSent && client.socket->State() == SocketState::kConnected;
}

int32_t ClientServer::UnsentBytes(int index) const { return clients_.at(static_cast<size_t>(index)).unsentBytes; }

int64_t ClientServer::HeldBackBytes(int index) const {
  return clients_.at(static_cast<size_t>(index)).heldBackBytes;
}

size_t ClientServer::HeldBackRuns(int index) const { return clients_.at(static_cast<size_t>(index)).heldBack.size(); }

}  // namespace tavrik
