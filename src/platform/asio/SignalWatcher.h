#pragma once
// Delivers the system's requests to end the program to a handler on the
// event thread: on Linux the signals SIGINT, SIGHUP and SIGTERM, on Windows
// the console's control events. One watcher per process; it must not
// outlive the io_context.
#include <asio/io_context.hpp>
#include <functional>
#include <memory>

#include "platform/TerminationRequest.h"

namespace tavrik {

class SignalWatcher {
 public:
  using Handler = std::function<void(TerminationRequest request)>;

  SignalWatcher(asio::io_context& context, Handler handler);
  ~SignalWatcher();
  SignalWatcher(const SignalWatcher&) = delete;
  SignalWatcher& operator=(const SignalWatcher&) = delete;

 private:
  class Watch;  // the system's side, in posix/ or win/
  std::shared_ptr<Watch> watch_;
};

}  // namespace tavrik
