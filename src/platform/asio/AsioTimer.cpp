#include "platform/asio/AsioTimer.h"

#include <chrono>

namespace tavrik {

AsioTimer::~AsioTimer() {
  *alive_ = false;
  Disarm();
}

void AsioTimer::SetInterval(int ms) {
  interval_ = ms;
  if (enabled_) Arm();
}

void AsioTimer::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  if (enabled_) {
    Arm();
  } else {
    Disarm();
  }
}

void AsioTimer::Disarm() {
  ++generation_;
  timer_.cancel();
}

void AsioTimer::Arm() {
  Disarm();
  if (interval_ < 1) return;
  const uint64_t generation = generation_;
  timer_.expires_after(std::chrono::milliseconds(interval_));
  timer_.async_wait([this, generation, alive = alive_](const asio::error_code& error) {
    if (error || !*alive || generation != generation_ || !enabled_) return;
    Arm();  // schedule the next tick before this one runs, as a repeating timer does
    RaiseTick();
  });
}

}  // namespace tavrik
