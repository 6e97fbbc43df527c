#pragma once
// Local wall-clock time from the operating system.
#include "platform/Clock.h"

namespace tavrik {

class SystemClock : public Clock {
 public:
  double SecondsSinceMidnight() const override;
  std::string LocalDateTimeText() const override;
};

}  // namespace tavrik
