#pragma once
// A listener that outlives the loss of its port. A port it cannot listen on
// (taken by another program, or closed by a network failure later) is tried
// again after kFirstRetryMs, ten times longer each time up to kLongestRetryMs
// (1 s, 10 s, then every 50 s). Its owner words the log lines: the loss is
// told once per outage, as is listening again. Event thread only; never
// throws.
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "platform/Platform.h"

namespace tavrik {

class RetryingListener : private SocketEvents {
 public:
  static constexpr int32_t kFirstRetryMs = 1000;
  static constexpr int32_t kLongestRetryMs = 50000;

  // Each connection request goes to onRequest, whose receiver accepts it
  // or lets it be closed.
  RetryingListener(Platform& platform, std::function<void(int32_t requestId)> onRequest);
  ~RetryingListener() override;
  RetryingListener(const RetryingListener&) = delete;
  RetryingListener& operator=(const RetryingListener&) = delete;

  // Listens on port of address (empty: every address), now or once it can.
  void Listen(const std::string& address, int port);
  void Close();
  bool IsListening() const { return socket_->State() == SocketState::kListening; }

 protected:
  const std::string& Address() const { return address_; }
  int Port() const { return port_; }

 private:
  // The first failure to listen of an outage.
  virtual void LogListenFailure(const std::exception& e) = 0;
  // recovered: listening follows a failure.
  virtual void LogListening(bool recovered) = 0;
  // The listener ended; a new one follows.
  virtual void LogListenerError(int number, const std::string& description) = 0;

  void TryListen();
  void OnConnectionRequest(int32_t requestId) override { onRequest_(requestId); }
  void OnError(int number, const std::string& description) override;

  std::function<void(int32_t)> onRequest_;
  std::unique_ptr<Socket> socket_;
  std::unique_ptr<Timer> retry_;
  std::string address_;
  int port_ = 0;
  int32_t retryMs_ = 0;  // the last retry's delay; 0 while listening
};

}  // namespace tavrik
