#pragma once
// Simulated wall clock driven by FakePlatform's simulated milliseconds.
#include <cstdint>

#include "platform/Clock.h"

namespace tavrik {

class FakeClock : public Clock {
 public:
  explicit FakeClock(const int64_t& nowMs) : nowMs_(nowMs) {}
  // Time of day at simulated time 0.
  void SetStartOfDay(double seconds) { startSeconds_ = seconds; }
  double SecondsSinceMidnight() const override;
  std::string LocalDateTimeText() const override;

 private:
  const int64_t& nowMs_;
  double startSeconds_ = 12 * 3600.0;
};

}  // namespace tavrik
