#pragma once
// A repeating timer: while Enabled it raises its tick every Interval ms on the
// event thread. Owned by the controller; runs on the event thread only.
#include <functional>

namespace tavrik {

class Timer {
 public:
  virtual ~Timer() = default;
  // Changing the interval of an enabled timer restarts its count-down.
  virtual void SetInterval(int ms) = 0;
  virtual int Interval() const = 0;
  // Enabling a disabled timer starts a fresh count-down; disabling drops any
  // tick that is not yet delivered. An interval below 1 never ticks.
  virtual void SetEnabled(bool enabled) = 0;
  virtual bool Enabled() const = 0;
  void SetTickHandler(std::function<void()> handler) { tick_ = std::move(handler); }

 protected:
  void RaiseTick() {
    if (tick_) tick_();
  }

 private:
  std::function<void()> tick_;
};

}  // namespace tavrik
