#include "server/ClientServer.h"

#include "log/LogFailure.h"
#include "log/LogMsg.h"
#include "platform/PlatformError.h"
#include "server/ResponseHead.h"

namespace tavrik {

class ClientServer::ListenerEvents : public SocketEvents {
 public:
  explicit ListenerEvents(ClientServer& server) : server_(server) {}
  void OnConnectionRequest(int32_t requestId) override {
    server_.ListenSock_ConnectionRequest(requestId);
  }
  void OnClose() override { server_.listenerFailed_(); }
  void OnError(int number, const std::string& description) override {
    LogMsgLazy(10, [&] { return "ListenSock.Error: " + std::to_string(number) + " - " + description; });
    server_.listenerFailed_();
  }

 private:
  ClientServer& server_;
};

class ClientServer::ClientEvents : public SocketEvents {
 public:
  ClientEvents(ClientServer& server, int index) : server_(server), index_(index) {}
  void OnDataArrival(int32_t) override { server_.WinSock_DataArrival(index_); }
  void OnSendProgress(int32_t, int32_t bytesRemaining) override {
    server_.WinSock_SendProgress(index_, bytesRemaining);
  }
  void OnSendComplete() override { server_.WinSock_SendComplete(index_); }
  void OnClose() override { server_.CloseConnection(index_); }
  void OnError(int number, const std::string& description) override {
    server_.WinSock_Error(index_, number, description);
  }

 private:
  ClientServer& server_;
  int index_;
};

ClientServer::ClientServer(Platform& platform, std::function<void()> listenerFailed)
    : ListenSock(platform.CreateSocket()),
      platform_(platform),
      listenerFailed_(std::move(listenerFailed)),
      listenerEvents_(std::make_unique<ListenerEvents>(*this)) {
  ListenSock->SetLocalPort(8147);
  ListenSock->SetEvents(listenerEvents_.get());
  CreateClientSocket();
}

ClientServer::~ClientServer() {
  // Sockets go first: they must not raise events into destroyed receivers.
  ListenSock.reset();
  WinSock.clear();
}

void ClientServer::CreateClientSocket() {
  const int index = static_cast<int>(WinSock.size());
  clientEvents_.push_back(std::make_unique<ClientEvents>(*this, index));
  WinSock.push_back(platform_.CreateSocket());
  WinSock.back()->SetEvents(clientEvents_.back().get());
  Clients.resize(WinSock.size());
}

void ClientServer::Listen(int port) {
  if (ListenSock->State() != kStateClosed) ListenSock->Close();
  ListenSock->SetLocalPort(port);
  ListenSock->Listen();
}

void ClientServer::CloseListener() { ListenSock->Close(); }

void ClientServer::ListenSock_ConnectionRequest(int32_t requestId) {
  try {
    LogMsgLazy(1, [&] { return "Connection request:" + ListenSock->RemoteHost(); });
    const int16_t i = AcceptClient();
    if (i < 0 || i > UBound() || WinSock[static_cast<size_t>(i)]->State() != kStateClosed) return;
    ClientSlot& slot = Clients[static_cast<size_t>(i)];
    slot.HeaderSent = 0;
    slot.BytesPending = 0;
    slot.Backlog.clear();
    slot.BacklogLength = 0;
    WinSock[static_cast<size_t>(i)]->Accept(requestId);
    LogMsgLazy(3, [&] { return "Connected to Winsock(" + std::to_string(i) + "),"; });
    platform_.Loop().YieldOnce();
  } catch (const std::exception& e) {
    // A failed accept costs this request only; the relay goes on serving.
    LogFailure("ConnectionRequest error: ", e);
  }
}

int16_t ClientServer::AcceptClient() {
  const int n = UBound();
  for (int i = 0; i <= n; ++i) {
    Socket& socket = *WinSock[static_cast<size_t>(i)];
    const int16_t state = socket.State();
    if (state == kStateConnected) continue;
    if (state == kStateClosed) return static_cast<int16_t>(i);
    socket.Close();  // stale: free for the next request, not this one
  }
  const int i = UBound() + 1;
  if (i > kHighestIndex) return -1;
  CreateClientSocket();
  return static_cast<int16_t>(i);
}

void ClientServer::CloseConnection(int32_t index) {
  if (index < 0 || index > UBound()) return;
  LogMsgLazy(5, [&] { return "CloseConnection(" + std::to_string(index) + ")."; });
  Clients[static_cast<size_t>(index)].HeaderSent = 0;
  WinSock[static_cast<size_t>(index)]->Close();
}

void ClientServer::CloseAllSockets() {
  for (auto& socket : WinSock) socket->Close();
}

void ClientServer::WinSock_DataArrival(int index) {
  try {
    WinSock[static_cast<size_t>(index)]->GetData(request_);
    // A large request must not pin its memory for the life of the relay.
    if (request_.capacity() > 65536) std::string().swap(request_);
    platform_.Loop().YieldOnce();
    ClientSlot& slot = Clients[static_cast<size_t>(index)];
    if (slot.HeaderSent != 0) {
      CloseConnection(index);
      return;
    }
    slot.HeaderSent = 1;
    WinSock[static_cast<size_t>(index)]->SendData(ResponseHead());
  } catch (const std::exception& e) {
    // For instance the peer went away during the yield: close this client.
    const FailureInfo failure = DescribeFailure(e);
    WinSock_Error(index, failure.number, failure.description);
  }
}

void ClientServer::WinSock_SendProgress(int index, int32_t bytesRemaining) {
  Clients[static_cast<size_t>(index)].BytesPending = bytesRemaining;
}

void ClientServer::WinSock_SendComplete(int index) {
  Clients[static_cast<size_t>(index)].BytesPending = 0;
}

void ClientServer::WinSock_Error(int index, int number, const std::string& description) {
  LogMsgLazy(10, [&] {
    return "Winsock(" + std::to_string(index) + ").Error: " + std::to_string(number) + " - " + description;
  });
  CloseConnection(index);
}

void ClientServer::SendToClients(const Payload& part) {
  const int n = UBound();
  for (int i = 0; i <= n; ++i) {
    if (WinSock[static_cast<size_t>(i)]->State() != kStateConnected ||
        Clients[static_cast<size_t>(i)].HeaderSent != 1)
      continue;
    try {
      SendToClient(i, part);
    } catch (const std::exception& e) {
      // One client's failing send closes that client only; the rest still get the part.
      const FailureInfo failure = DescribeFailure(e);
      WinSock_Error(i, failure.number, failure.description);
    }
  }
}

void ClientServer::SendToClient(int index, const Payload& part) {
  ClientSlot& slot = Clients[static_cast<size_t>(index)];
  const auto partLength = static_cast<int64_t>(part.size());
  if (slot.BytesPending >= kHoldBackBytes) {
    if (slot.BacklogLength > kBacklogCap) {
      slot.Backlog.clear();
      slot.BacklogLength = 0;
    }
    if (slot.Backlog.empty() || !slot.Backlog.back().TryJoin(part)) slot.Backlog.push_back(part);
    slot.BacklogLength += partLength;
    return;
  }
  Socket& socket = *WinSock[static_cast<size_t>(index)];
  const int64_t sending = slot.BacklogLength + partLength;
  if (slot.Backlog.empty()) {
    socket.SendData(part);
  } else {
    if (!slot.Backlog.back().TryJoin(part)) slot.Backlog.push_back(part);
    socket.SendData(slot.Backlog);
    slot.Backlog.clear();
    slot.BacklogLength = 0;
  }
  slot.BytesPending = static_cast<int32_t>(std::min<int64_t>(slot.BytesPending + sending, INT32_MAX));
}

}  // namespace tavrik
