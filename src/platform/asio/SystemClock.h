#pragma once
// Local wall-clock time from the operating system.
#include <atomic>
#include <ctime>

#include "platform/Clock.h"

namespace tavrik {

class SystemClock : public Clock {
 public:
  double SecondsSinceMidnight() const override;
  std::string LocalDateTimeText() const override;
  int64_t UnixTimeMs() const override;
  int32_t UtcOffsetMinutes() const override;

 private:
  static constexpr std::time_t kZoneCheckSeconds = 60;
  mutable std::atomic<std::time_t> zoneCheckedAt_{0};
};

}  // namespace tavrik
