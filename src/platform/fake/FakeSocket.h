#pragma once
// Socket whose peer is the test: it records what the relay does and lets the
// test raise the component's events. Operations can be told to fail.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/PlatformError.h"
#include "platform/Socket.h"

namespace tavrik {

class FakePlatform;

class FakeSocket : public Socket {
 public:
  explicit FakeSocket(FakePlatform& platform) : platform_(platform) {}
  ~FakeSocket() override;

  void SetEvents(SocketEvents* events) override { events_ = events; }
  int Protocol() const override { return protocol_; }
  void SetProtocol(int protocol) override { protocol_ = protocol; }
  const std::string& RemoteHost() const override { return remoteHost_; }
  void SetRemoteHost(const std::string& host) override;
  int RemotePort() const override { return remotePort_; }
  void SetRemotePort(int port) override;
  int LocalPort() const override { return localPort_; }
  void SetLocalPort(int port) override;
  int16_t State() const override { return state_; }
  void Connect(const std::string& host, int port) override;
  void Listen() override;
  void Accept(int32_t requestId) override;
  void Bind(int port) override;
  void GetData(std::string& out) override;
  void SendData(std::span<const Payload> parts) override;
  using Socket::SendData;
  void Close() override;

  // --- the test's side ---
  // Makes every later call of the named operation ("Listen", "Close", ...) fail.
  void Fail(const std::string& operation, PlatformError error) {
    failures_.insert_or_assign(operation, std::move(error));
  }
  void StopFailing(const std::string& operation) { failures_.erase(operation); }
  void SetState(int16_t state) { state_ = state; }

  void CompleteConnect();
  void Arrive(const std::string& bytes);  // data from the peer + DataArrival
  void PeerClose();
  void RaiseError(int number, const std::string& description);
  // Reports n more bytes written: SendProgress, or SendComplete when none remain.
  void Drain(int64_t n);
  void DrainAll() { Drain(pendingBytes_); }
  // Raises ConnectionRequest from peerHost on this listener; returns the id.
  int32_t RequestConnection(const std::string& peerHost);

  std::string sent;                  // every byte handed to SendData, in order
  bool keepSent = true;              // false: count the bytes only (benchmarks)
  int sendCalls = 0;                 // SendData calls
  std::vector<Payload> lastSend;     // the parts of the latest SendData call
  int64_t pendingBytes() const { return pendingBytes_; }
  std::string connectHost;
  int connectPort = 0;
  int boundPort = 0;
  int listenCalls = 0;
  int closeCalls = 0;

 private:
  void MaybeFail(const std::string& operation) const;

  FakePlatform& platform_;
  SocketEvents* events_ = nullptr;
  int protocol_ = kTcp;
  std::string remoteHost_;
  int remotePort_ = 0;
  int localPort_ = 0;
  int16_t state_ = kStateClosed;
  std::string arrived_;
  int64_t pendingBytes_ = 0;
  std::map<std::string, PlatformError> failures_;
};

}  // namespace tavrik
