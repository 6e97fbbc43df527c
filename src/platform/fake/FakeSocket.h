#pragma once
// Socket whose peer is the test: it records what the relay does and lets the
// test raise the socket's events. Operations can be told to fail.
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
  SocketState State() const override { return state_; }
  const std::string& RemoteHost() const override { return remoteHost_; }
  void Connect(const std::string& host, int port) override;
  void Listen(int port) override;
  void ListenOn(const std::string& address, int port) override;
  void Accept(int32_t requestId) override;
  void TakeOver(Socket& other) override;
  void Bind(int port) override;
  void OpenUdp(const std::string& host, int port) override;
  // A host name waits in kResolvingHost for CompleteConnect or RaiseError.
  void OpenUdpAsync(const std::string& host, int port) override;
  void Read(std::string& out) override;
  void Send(std::span<const Payload> parts) override;
  using Socket::Send;
  void SendAtOnce(const Payload& part) override;
  int64_t UnacknowledgedBytes() const override { return pendingBytes_ + unacknowledged; }
  void PauseReading() override { readingPaused = true; }
  void ResumeReading() override { readingPaused = false; }
  void ShutdownSend() override;
  void Close() override;

  // --- the test's side ---
  // Makes every later call of the named operation ("Listen", "Close", ...) fail.
  void Fail(const std::string& operation, PlatformError error) {
    failures_.insert_or_assign(operation, std::move(error));
  }
  void StopFailing(const std::string& operation) { failures_.erase(operation); }
  void SetState(SocketState state) { state_ = state; }

  void CompleteConnect();
  void Arrive(const std::string& bytes);  // data from the peer + OnData
  void PeerClose();
  void RaiseError(int number, const std::string& description);
  // Reports n more bytes written: OnSendProgress, or OnSendComplete when none remain.
  void Drain(int64_t n);
  void DrainAll() { Drain(pendingBytes_); }
  // Raises OnConnectionRequest from peerHost on this listener; returns the id.
  int32_t RequestConnection(const std::string& peerHost);

  std::string sent;                  // every byte handed to Send, in order
  bool keepSent = true;              // false: count the bytes only (benchmarks)
  int sendCalls = 0;                 // Send calls
  int atOnceCalls = 0;               // the SendAtOnce calls among them
  std::vector<Payload> lastSend;     // the parts of the latest Send call
  int64_t pendingBytes() const { return pendingBytes_; }
  int64_t unacknowledged = 0;       // drained, not yet acknowledged by the peer (Close clears it)
  bool udp = false;                  // opened by Bind or OpenUdp
  std::vector<std::string> datagrams;  // sent on a UDP socket, one per part
  std::string connectHost;           // of Connect or OpenUdp
  int connectPort = 0;
  int listenPort = 0;
  std::string listenAddress;         // of ListenOn
  int boundPort = 0;
  int listenCalls = 0;
  int lookups = 0;                   // OpenUdpAsync calls with a host name
  int closeCalls = 0;
  bool readingPaused = false;        // PauseReading without ResumeReading since
  // sent.size() when ShutdownSend was called; -1 before (Connect resets it).
  int64_t shutdownAt = -1;

 private:
  void MaybeFail(const std::string& operation) const;
  void RequireClosed() const;

  FakePlatform& platform_;
  SocketEvents* events_ = nullptr;
  std::string remoteHost_;
  SocketState state_ = SocketState::kClosed;
  std::string arrived_;
  int64_t pendingBytes_ = 0;
  std::map<std::string, PlatformError> failures_;
};

}  // namespace tavrik
