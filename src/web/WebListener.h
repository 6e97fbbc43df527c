#pragma once
// The web port's listener. A port it cannot listen on (taken by another
// program, or closed by a network failure later) does not end the web port:
// it is tried again after kFirstRetryMs, ten times longer each time up to
// kLongestRetryMs (1 s, 10 s, then every 50 s). The loss is logged once, as
// is listening again. Event thread only; never throws.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/Platform.h"

namespace tavrik {

class WebListener : private SocketEvents {
 public:
  static constexpr int32_t kFirstRetryMs = 1000;
  static constexpr int32_t kLongestRetryMs = 50000;

  // Each connection request goes to onRequest, whose receiver accepts it
  // or lets it be closed.
  WebListener(Platform& platform, std::function<void(int32_t requestId)> onRequest);
  ~WebListener() override;
  WebListener(const WebListener&) = delete;
  WebListener& operator=(const WebListener&) = delete;

  // Listens on port of address (empty: every address), now or once it can.
  void Listen(const std::string& address, int port);
  void Close();
  bool IsListening() const { return socket_->State() == SocketState::kListening; }

 private:
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
