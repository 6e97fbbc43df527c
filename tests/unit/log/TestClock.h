#pragma once
// A clock the log tests set by hand; counts the time stamps it hands out.
#include <string>

#include "platform/Clock.h"

namespace tavrik::test {

class TestClock : public Clock {
 public:
  double SecondsSinceMidnight() const override { return seconds; }
  int64_t UnixTimeMs() const override { return 0; }
  int32_t UtcOffsetMinutes() const override { return 0; }
  std::string LocalDateTimeText() const override {
    ++stamps;
    return dateText;
  }

  double seconds = 3600;
  std::string dateText = "2024-05-06 01:00:00";
  mutable int stamps = 0;
};

}  // namespace tavrik::test
