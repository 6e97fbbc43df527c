#pragma once
// The single event thread. Every handler of the relay runs on it.
#include <functional>

namespace tavrik {

class EventLoop {
 public:
  virtual ~EventLoop() = default;
  // Queues a handler to run on the event thread after the current one.
  virtual void Post(std::function<void()> handler) = 0;
  // Runs the handlers that are already pending, then returns: lets events
  // that a close or accept queued run before the caller goes on. Handlers must
  // tolerate running inside such a nested dispatch.
  virtual void RunPending() = 0;
};

}  // namespace tavrik
