#include "platform/fake/FakeSocket.h"

#include "platform/fake/FakePlatform.h"

namespace tavrik {

FakeSocket::~FakeSocket() { platform_.Unregister(this); }

void FakeSocket::MaybeFail(const std::string& operation) const {
  auto it = failures_.find(operation);
  if (it != failures_.end()) throw it->second;
}

void FakeSocket::SetRemoteHost(const std::string& host) {
  MaybeFail("SetRemoteHost");
  remoteHost_ = host;
  if (protocol_ == kUdp && !remoteHost_.empty() && remotePort_ > 0) state_ = kStateOpen;
}

void FakeSocket::SetRemotePort(int port) {
  MaybeFail("SetRemotePort");
  remotePort_ = port;
  if (protocol_ == kUdp && !remoteHost_.empty() && remotePort_ > 0) state_ = kStateOpen;
}

void FakeSocket::SetLocalPort(int port) {
  MaybeFail("SetLocalPort");
  localPort_ = port;
}

void FakeSocket::Connect(const std::string& host, int port) {
  MaybeFail("Connect");
  connectHost = host;
  connectPort = port;
  state_ = kStateConnecting;
}

void FakeSocket::Listen() {
  MaybeFail("Listen");
  ++listenCalls;
  state_ = kStateListening;
}

void FakeSocket::Accept(int32_t requestId) {
  MaybeFail("Accept");
  if (state_ != kStateClosed || !platform_.TakeConnectionRequest(requestId))
    throw PlatformError(40020, "Invalid operation at current state");
  state_ = kStateConnected;
}

void FakeSocket::Bind(int port) {
  MaybeFail("Bind");
  boundPort = port;
  state_ = kStateOpen;
}

void FakeSocket::GetData(std::string& out) {
  MaybeFail("GetData");
  out.swap(arrived_);
  arrived_.clear();
}

void FakeSocket::SendData(std::span<const Payload> parts) {
  MaybeFail("SendData");
  if (state_ != kStateConnected)
    throw PlatformError(40006, "Wrong protocol or connection state for the requested transaction or request");
  ++sendCalls;
  lastSend.assign(parts.begin(), parts.end());
  for (const Payload& part : parts) {
    if (keepSent) sent += part.View();
    pendingBytes_ += static_cast<int64_t>(part.size());
  }
}

void FakeSocket::Close() {
  MaybeFail("Close");
  ++closeCalls;
  state_ = kStateClosed;
  arrived_.clear();
  pendingBytes_ = 0;
}

void FakeSocket::CompleteConnect() {
  state_ = kStateConnected;
  if (events_) events_->OnConnect();
}

void FakeSocket::Arrive(const std::string& bytes) {
  arrived_ += bytes;
  if (events_) events_->OnDataArrival(static_cast<int32_t>(arrived_.size()));
}

void FakeSocket::PeerClose() {
  state_ = kStateClosing;
  if (events_) events_->OnClose();
}

void FakeSocket::RaiseError(int number, const std::string& description) {
  state_ = kStateError;
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
  const int32_t id = platform_.HoldConnectionRequest();
  remoteHost_ = peerHost;
  if (events_) events_->OnConnectionRequest(id);
  platform_.DropConnectionRequest(id);
  return id;
}

}  // namespace tavrik
