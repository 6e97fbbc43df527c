#pragma once
// Delivers the termination signals (SIGINT, SIGHUP, SIGTERM) to a handler on
// the event thread.
#include <asio/io_context.hpp>
#include <asio/signal_set.hpp>
#include <functional>

namespace tavrik {

class SignalWatcher {
 public:
  SignalWatcher(asio::io_context& context, std::function<void(int signal)> handler);

 private:
  void Wait();

  asio::signal_set signals_;
  std::function<void(int)> handler_;
};

}  // namespace tavrik
