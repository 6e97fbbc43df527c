#include "web/WebListener.h"

#include <algorithm>
#include <exception>

#include "log/Log.h"
#include "log/LogFailure.h"

namespace tavrik {

WebListener::WebListener(Platform& platform, std::function<void(int32_t)> onRequest)
    : onRequest_(std::move(onRequest)),
      socket_(platform.CreateSocket()),
      retry_(platform.CreateTimer()) {
  socket_->SetEvents(this);
  retry_->SetTickHandler([this] {
    retry_->Stop();
    TryListen();
  });
}

WebListener::~WebListener() {
  socket_->SetEvents(nullptr);
}

void WebListener::Listen(const std::string& address, int port) {
  address_ = address;
  port_ = port;
  retryMs_ = 0;
  TryListen();
}

void WebListener::Close() {
  retry_->Stop();
  socket_->Close();
}

void WebListener::TryListen() {
  try {
    socket_->ListenOn(address_, port_);
  } catch (const std::exception& e) {
    // Logged when the port is lost, not again on every retry.
    if (retryMs_ == 0) LogFailure("Web port error: ", e);
    retryMs_ = std::clamp(retryMs_ * 10, kFirstRetryMs, kLongestRetryMs);
    retry_->Start(retryMs_);
    return;
  }
  retryMs_ = 0;
  LogLazy(LogLevel::kProgress, [&] {
    return "Web port listening on " + (address_.empty() ? std::string("*") : address_) + ":" +
           std::to_string(port_) + ".";
  });
}

// The listener has ended: a new one is opened as after a failed start, while
// the connections it accepted go on.
void WebListener::OnError(int number, const std::string& description) {
  LogLazy(LogLevel::kError,
          [&] { return "WebSock.Error: " + std::to_string(number) + " - " + description; });
  try {
    socket_->Close();
  } catch (const std::exception&) {
    // Closed as far as it goes: listening starts afresh either way.
  }
  retryMs_ = kFirstRetryMs;
  retry_->Start(retryMs_);
}

}  // namespace tavrik
