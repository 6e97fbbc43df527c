#include "platform/asio/SignalWatcher.h"

#include <csignal>

namespace tavrik {

SignalWatcher::SignalWatcher(asio::io_context& context, std::function<void(int signal)> handler)
    : signals_(context), handler_(std::move(handler)) {
  signals_.add(SIGINT);
  signals_.add(SIGTERM);
#ifdef SIGHUP
  signals_.add(SIGHUP);
#endif
  Wait();
}

void SignalWatcher::Wait() {
  signals_.async_wait([this](const asio::error_code& error, int signal) {
    if (error) return;
    Wait();
    handler_(signal);
  });
}

}  // namespace tavrik
