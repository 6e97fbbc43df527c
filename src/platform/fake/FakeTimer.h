#pragma once
// Timer on FakePlatform's simulated time.
#include <cstdint>

#include "platform/Timer.h"

namespace tavrik {

class FakePlatform;

class FakeTimer : public Timer {
 public:
  explicit FakeTimer(FakePlatform& platform);
  ~FakeTimer() override;
  void Start(int ms) override;
  void Stop() override { running_ = false; }
  bool IsRunning() const override { return running_; }

  // --- the test's side ---
  int IntervalMs() const { return intervalMs_; }
  int64_t Deadline() const { return deadline_; }
  uint64_t Sequence() const { return sequence_; }
  // Called by FakePlatform when the deadline is reached; a test may call it
  // to deliver a tick that was queued before the timer stopped.
  void Fire();

 private:
  void Arm();

  FakePlatform& platform_;
  int intervalMs_ = 0;
  bool running_ = false;
  int64_t deadline_ = 0;
  uint64_t sequence_ = 0;
};

}  // namespace tavrik
