#pragma once
// Timer on an asio::steady_timer. A tick is delivered only if the timer has
// not been stopped or restarted since it was scheduled.
#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>
#include <cstdint>
#include <memory>

#include "platform/Timer.h"

namespace tavrik {

class AsioTimer : public Timer {
 public:
  explicit AsioTimer(asio::io_context& context) : timer_(context) {}
  ~AsioTimer() override;
  void Start(int ms) override;
  void Stop() override;
  bool IsRunning() const override { return running_; }

 private:
  void Arm();

  asio::steady_timer timer_;
  int intervalMs_ = 0;
  bool running_ = false;
  uint64_t generation_ = 0;  // identifies the current count-down
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace tavrik
