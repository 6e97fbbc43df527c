#pragma once
// Timer on an asio::steady_timer. A tick is delivered only if the timer has
// not been disabled or re-armed since it was scheduled.
#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>
#include <cstdint>

#include "platform/Timer.h"

namespace tavrik {

class AsioTimer : public Timer {
 public:
  explicit AsioTimer(asio::io_context& context) : timer_(context) {}
  ~AsioTimer() override;
  void SetInterval(int ms) override;
  int Interval() const override { return interval_; }
  void SetEnabled(bool enabled) override;
  bool Enabled() const override { return enabled_; }

 private:
  void Arm();
  void Disarm();

  asio::steady_timer timer_;
  int interval_ = 0;
  bool enabled_ = false;
  uint64_t generation_ = 0;  // identifies the current count-down
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace tavrik
