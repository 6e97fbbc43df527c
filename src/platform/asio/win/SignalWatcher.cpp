#include "platform/asio/SignalWatcher.h"

#include <windows.h>

#include <asio/post.hpp>
#include <future>
#include <mutex>

namespace tavrik {

// Windows calls a console control handler on a thread of its own, and for
// closing the console, logoff and shutdown ends the process as soon as the
// handler returns. So the handler hands the request to the event thread and,
// for those three, waits until it has been handled there. If handling it
// ended the event loop, the program is on its way out: the handler then never
// returns, and the process ends when main does, after the log is flushed.
class SignalWatcher::Watch {
 public:
  Watch(asio::io_context& context, Handler handler)
      : context_(context), handler_(std::move(handler)) {}

  static void Install(const std::shared_ptr<Watch>& watch) {
    {
      const std::lock_guard lock(mutex_);
      current_ = watch;
    }
    SetConsoleCtrlHandler(&Watch::OnControl, TRUE);
  }

  // Event thread.
  static void Remove() {
    SetConsoleCtrlHandler(&Watch::OnControl, FALSE);
    const std::lock_guard lock(mutex_);
    if (current_) current_->watching_ = false;
    current_.reset();
  }

 private:
  static BOOL WINAPI OnControl(DWORD type) {
    TerminationRequest request;
    switch (type) {
      case CTRL_C_EVENT:
      case CTRL_BREAK_EVENT:
      case CTRL_CLOSE_EVENT:
        request = TerminationRequest::kInterrupt;
        break;
      case CTRL_LOGOFF_EVENT:
      case CTRL_SHUTDOWN_EVENT:
        request = TerminationRequest::kHangUp;
        break;
      default:
        return FALSE;
    }
    std::future<bool> loopEnded;
    {
      const std::lock_guard lock(mutex_);
      if (!current_) return FALSE;
      auto handled = std::make_shared<std::promise<bool>>();
      loopEnded = handled->get_future();
      asio::post(current_->context_, [watch = current_, request, handled] {
        handled->set_value(watch->Deliver(request));
      });
    }
    if (type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT) return TRUE;
    bool ending = true;
    try {
      ending = loopEnded.get();
    } catch (const std::future_error&) {
      // The event loop was destroyed before it got to the request.
    }
    if (ending) Sleep(INFINITE);
    return TRUE;  // handled; the process goes on (a service at logoff)
  }

  // Event thread: true when the handler ended the event loop.
  bool Deliver(TerminationRequest request) {
    if (watching_) handler_(request);
    return context_.stopped();
  }

  static inline std::mutex mutex_;
  static inline std::shared_ptr<Watch> current_;  // under mutex_

  asio::io_context& context_;
  Handler handler_;
  bool watching_ = true;  // event thread only
};

SignalWatcher::SignalWatcher(asio::io_context& context, Handler handler)
    : watch_(std::make_shared<Watch>(context, std::move(handler))) {
  Watch::Install(watch_);
}

SignalWatcher::~SignalWatcher() {
  Watch::Remove();
}

}  // namespace tavrik
