#include "listener/RetryingListener.h"

#include <algorithm>

namespace tavrik {

RetryingListener::RetryingListener(Platform& platform, std::function<void(int32_t)> onRequest)
    : onRequest_(std::move(onRequest)),
      socket_(platform.CreateSocket()),
      retry_(platform.CreateTimer()) {
  socket_->SetEvents(this);
  retry_->SetTickHandler([this] {
    retry_->Stop();
    TryListen();
  });
}

RetryingListener::~RetryingListener() {
  socket_->SetEvents(nullptr);
}

void RetryingListener::Listen(const std::string& address, int port) {
  address_ = address;
  port_ = port;
  retryMs_ = 0;
  TryListen();
}

void RetryingListener::Close() {
  retry_->Stop();
  socket_->Close();
}

void RetryingListener::TryListen() {
  try {
    socket_->ListenOn(address_, port_);
  } catch (const std::exception& e) {
    // Logged when the port is lost, not again on every retry.
    if (retryMs_ == 0) LogListenFailure(e);
    retryMs_ = std::clamp(retryMs_ * 10, kFirstRetryMs, kLongestRetryMs);
    retry_->Start(retryMs_);
    return;
  }
  const bool recovered = retryMs_ != 0;
  retryMs_ = 0;
  LogListening(recovered);
}

// The listener has ended: a new one is opened as after a failed start, while
// the connections it accepted go on.
void RetryingListener::OnError(int number, const std::string& description) {
  LogListenerError(number, description);
  try {
    socket_->Close();
  } catch (const std::exception&) {
    // Closed as far as it goes: listening starts afresh either way.
  }
  retryMs_ = kFirstRetryMs;
  retry_->Start(retryMs_);
}

}  // namespace tavrik
