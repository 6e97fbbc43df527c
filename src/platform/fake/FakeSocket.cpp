#include "platform/fake/FakeSocket.h"

#include <utility>

#include "platform/ErrorNumbers.h"
#include "platform/fake/FakePlatform.h"

namespace tavrik {

FakeSocket::~FakeSocket() { platform_.Unregister(this); }

void FakeSocket::MaybeFail(const std::string& operation) const {
  auto it = failures_.find(operation);
  if (it != failures_.end()) throw it->second;
}

void FakeSocket::RequireClosed() const {
  if (state_ != SocketState::kClosed) throw errors::InvalidSocketOperation();
}

void FakeSocket::Connect(const std::string& host, int port) {
  MaybeFail("Connect");
  RequireClosed();
  udp = false;
  connectHost = host;
  connectPort = port;
  remoteHost_ = host;
  shutdownAt = -1;
  state_ = SocketState::kConnecting;
}

void FakeSocket::Listen(int port) {
  MaybeFail("Listen");
  RequireClosed();
  udp = false;
  ++listenCalls;
  listenPort = port;
  state_ = SocketState::kListening;
}

void FakeSocket::ListenOn(const std::string& address, int port) {
  Listen(port);
  listenAddress = address;
}

void FakeSocket::Accept(int32_t requestId) {
  MaybeFail("Accept");
  if (state_ != SocketState::kClosed) throw errors::InvalidSocketOperation();
  std::optional<std::string> peer = platform_.TakeConnectionRequest(requestId);
  if (!peer) throw errors::InvalidSocketOperation();
  remoteHost_ = *peer;
  udp = false;
  state_ = SocketState::kConnected;
}

void FakeSocket::TakeOver(Socket& other) {
  RequireClosed();
  auto& from = static_cast<FakeSocket&>(other);
  udp = false;
  state_ = std::exchange(from.state_, SocketState::kClosed);
  arrived_.swap(from.arrived_);
  from.arrived_.clear();
  remoteHost_ = from.remoteHost_;
  readingPaused = std::exchange(from.readingPaused, false);
  shutdownAt = -1;
}

void FakeSocket::Bind(int port) {
  MaybeFail("Bind");
  RequireClosed();
  udp = true;
  boundPort = port;
  state_ = SocketState::kOpen;
}

void FakeSocket::OpenUdp(const std::string& host, int port) {
  MaybeFail("OpenUdp");
  RequireClosed();
  udp = true;
  connectHost = host;
  connectPort = port;
  remoteHost_ = host;
  state_ = SocketState::kOpen;
}

void FakeSocket::Read(std::string& out) {
  MaybeFail("Read");
  out.swap(arrived_);
  arrived_.clear();
}

void FakeSocket::Send(std::span<const Payload> parts) {
  MaybeFail("Send");
  if (state_ == SocketState::kOpen && udp) {
    for (const Payload& part : parts) datagrams.emplace_back(part.View());
    return;
  }
  if (state_ != SocketState::kConnected && state_ != SocketState::kClosing) throw errors::WrongSocketState();
  ++sendCalls;
  lastSend.assign(parts.begin(), parts.end());
  for (const Payload& part : parts) {
    if (keepSent) sent += part.View();
    pendingBytes_ += static_cast<int64_t>(part.size());
  }
}

void FakeSocket::SendAtOnce(const Payload& part) {
  ++atOnceCalls;
  Send(part);
}

void FakeSocket::ShutdownSend() {
  MaybeFail("ShutdownSend");
  shutdownAt = static_cast<int64_t>(sent.size());
}

void FakeSocket::Close() {
  MaybeFail("Close");
  ++closeCalls;
  readingPaused = false;
  state_ = SocketState::kClosed;
  arrived_.clear();
  pendingBytes_ = 0;
  unacknowledged = 0;
}

void FakeSocket::OpenUdpAsync(const std::string& host, int port) {
  OpenUdp(host, port);
  if (host.find_first_not_of("0123456789.:") == std::string::npos) return;
  ++lookups;
  state_ = SocketState::kResolvingHost;
}

void FakeSocket::CompleteConnect() {
  state_ = udp ? SocketState::kOpen : SocketState::kConnected;
  if (events_) events_->OnConnected();
}

void FakeSocket::Arrive(const std::string& bytes) {
  arrived_ += bytes;
  if (events_) events_->OnData();
}

void FakeSocket::PeerClose() {
  state_ = SocketState::kClosing;
  if (events_) events_->OnClosed();
}

void FakeSocket::RaiseError(int number, const std::string& description) {
  state_ = SocketState::kError;
  if (events_) events_->OnError(number, description);
}

void FakeSocket::Drain(int64_t n) {
  pendingBytes_ -= std::min(n, pendingBytes_);
  if (!events_) return;
  if (pendingBytes_ > 0) {
    events_->OnSendProgress(static_cast<int32_t>(n), static_cast<int32_t>(pendingBytes_));
  } else {
    events_->OnSendComplete();
  }
}

int32_t FakeSocket::RequestConnection(const std::string& peerHost) {
  const int32_t id = platform_.HoldConnectionRequest(peerHost);
  remoteHost_ = peerHost;
  if (events_) events_->OnConnectionRequest(id);
  platform_.DropConnectionRequest(id);
  return id;
}

}  // namespace tavrik
