#pragma once
// A repeating timer on the event thread. Owned by the component whose ticks
// it drives; runs on the event thread only.
#include <functional>

namespace tavrik {

class Timer {
 public:
  virtual ~Timer() = default;
  // Starts a fresh count-down of ms, also when already running; the tick then
  // repeats every ms until Stop. ms below 1 leaves the timer stopped.
  virtual void Start(int ms) = 0;
  // Drops any tick not yet delivered.
  virtual void Stop() = 0;
  virtual bool IsRunning() const = 0;
  void SetTickHandler(std::function<void()> handler) { tick_ = std::move(handler); }

 protected:
  void RaiseTick() {
    if (tick_) tick_();
  }

 private:
  std::function<void()> tick_;
};

}  // namespace tavrik
