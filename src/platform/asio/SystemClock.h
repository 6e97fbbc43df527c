#pragma once
// Local wall-clock time from the operating system.
#include "platform/Clock.h"

namespace tavrik {

class SystemClock : public Clock {
 public:
  double SecondsSinceMidnight() const override;
  std::string LocalDateTimeText() const override;
  int64_t UnixTimeMs() const override;
  int32_t UtcOffsetMinutes() const override;
};

}  // namespace tavrik
