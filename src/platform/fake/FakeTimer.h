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
  void SetInterval(int ms) override;
  int Interval() const override { return interval_; }
  void SetEnabled(bool enabled) override;
  bool Enabled() const override { return enabled_; }

  bool Armed() const { return enabled_ && interval_ >= 1; }
  int64_t Deadline() const { return deadline_; }
  uint64_t Sequence() const { return sequence_; }
  // Called by FakePlatform when the deadline is reached.
  void Fire();

 private:
  void Arm();

  FakePlatform& platform_;
  int interval_ = 0;
  bool enabled_ = false;
  int64_t deadline_ = 0;
  uint64_t sequence_ = 0;
};

}  // namespace tavrik
