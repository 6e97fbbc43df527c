#include "platform/asio/AsioTimer.h"

#include <chrono>

namespace tavrik {

AsioTimer::~AsioTimer() {
  *alive_ = false;
  Stop();
}

void AsioTimer::Start(int ms) {
  Stop();
  if (ms < 1) return;
  intervalMs_ = ms;
  running_ = true;
  Arm();
}

void AsioTimer::Stop() {
  running_ = false;
  ++generation_;
  timer_.cancel();
}

void AsioTimer::Arm() {
  const uint64_t generation = ++generation_;
  timer_.expires_after(std::chrono::milliseconds(intervalMs_));
  timer_.async_wait([this, generation, alive = alive_](const asio::error_code& error) {
    if (error || !*alive || generation != generation_ || !running_) return;
    Arm();  // schedule the next tick before this one runs, as a repeating timer does
    RaiseTick();
  });
}

}  // namespace tavrik
