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
  void SetUtcOffsetMinutes(int32_t minutes) { utcOffsetMinutes_ = minutes; }
  double SecondsSinceMidnight() const override;
  std::string LocalDateTimeText() const override;
  // The local time LocalDateTimeText gives, less the offset: simulated time
  // 0 is 2026-12-07 at the start of day, local.
  int64_t UnixTimeMs() const override;
  int32_t UtcOffsetMinutes() const override { return utcOffsetMinutes_; }

 private:
  const int64_t& nowMs_;
  double startSeconds_ = 12 * 3600.0;
  int32_t utcOffsetMinutes_ = 0;
};

}  // namespace tavrik
