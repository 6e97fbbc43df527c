#include "platform/fake/FakeClock.h"

#include <cmath>
#include <cstdio>

namespace tavrik {
namespace {

constexpr int64_t kDay7UnixSeconds = 1796601600;  // 2026-12-07 00:00:00 UTC

}  // namespace

double FakeClock::SecondsSinceMidnight() const {
  return ToSinglePrecision(std::fmod(startSeconds_ + static_cast<double>(nowMs_) / 1000.0, 86400.0));
}

std::string FakeClock::LocalDateTimeText() const {
  const double total = startSeconds_ + static_cast<double>(nowMs_) / 1000.0;
  const auto days = static_cast<int>(total / 86400.0);
  const auto second = static_cast<int>(std::fmod(total, 86400.0));
  char text[64];
  std::snprintf(text, sizeof text, "2026-12-%02d %02d:%02d:%02d", 7 + days % 20, second / 3600,
                second / 60 % 60, second % 60);
  return text;
}

int64_t FakeClock::UnixTimeMs() const {
  const auto startMs = static_cast<int64_t>(startSeconds_ * 1000.0);
  return (kDay7UnixSeconds - int64_t{utcOffsetMinutes_} * 60) * 1000 + startMs + nowMs_;
}

}  // namespace tavrik
