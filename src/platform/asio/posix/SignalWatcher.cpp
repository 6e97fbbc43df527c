#include "platform/asio/SignalWatcher.h"

#include <asio/signal_set.hpp>
#include <csignal>

namespace tavrik {

class SignalWatcher::Watch {
 public:
  Watch(asio::io_context& context, Handler handler)
      : signals_(context, SIGINT, SIGHUP, SIGTERM), handler_(std::move(handler)) {
    Wait();
  }

 private:
  static TerminationRequest RequestFor(int signal) {
    if (signal == SIGINT) return TerminationRequest::kInterrupt;
    if (signal == SIGHUP) return TerminationRequest::kHangUp;
    return TerminationRequest::kTerminate;
  }

  void Wait() {
    signals_.async_wait([this](const asio::error_code& error, int signal) {
      if (error) return;
      Wait();
      handler_(RequestFor(signal));
    });
  }

  asio::signal_set signals_;
  Handler handler_;
};

SignalWatcher::SignalWatcher(asio::io_context& context, Handler handler)
    : watch_(std::make_shared<Watch>(context, std::move(handler))) {}

SignalWatcher::~SignalWatcher() = default;

}  // namespace tavrik
