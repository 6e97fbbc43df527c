#include "platform/asio/SystemClock.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace tavrik {
namespace {

std::tm LocalTime(std::time_t t) {
  std::tm tm{};
#ifdef _WIN32
  localtime_s(&tm, &t);
#else
  localtime_r(&t, &tm);
#endif
  return tm;
}

}  // namespace

double SystemClock::SecondsSinceMidnight() const {
  const auto now = std::chrono::system_clock::now();
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  const std::tm tm = LocalTime(t);
  const auto sinceEpoch = now.time_since_epoch();
  const double fraction =
      std::chrono::duration<double>(sinceEpoch - std::chrono::floor<std::chrono::seconds>(sinceEpoch))
          .count();
  return ToSinglePrecision(tm.tm_hour * 3600.0 + tm.tm_min * 60.0 + tm.tm_sec + fraction);
}

std::string SystemClock::LocalDateTimeText() const {
  const std::tm tm = LocalTime(std::time(nullptr));
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return text;
}

int64_t SystemClock::UnixTimeMs() const {
  const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
  return std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count();
}

#ifdef _WIN32
// The local time read as if it were UTC, less the moment itself: the offset
// with daylight saving, as Windows' tm has no tm_gmtoff.
int32_t SystemClock::UtcOffsetMinutes() const {
  const std::time_t now = std::time(nullptr);
  std::tm local = LocalTime(now);
  std::tm utc{};
  gmtime_s(&utc, &now);
  local.tm_isdst = 0;
  utc.tm_isdst = 0;
  const double seconds = std::difftime(std::mktime(&local), std::mktime(&utc));
  return static_cast<int32_t>(seconds / 60.0);
}
#else
// localtime_r gives the offset with it. Unlike mktime it does not look at the
// zone file each time (a path walk before every frame's sends), so a changed
// system time zone is taken up here at most once a minute.
int32_t SystemClock::UtcOffsetMinutes() const {
  const std::time_t now = std::time(nullptr);
  const std::time_t checked = zoneCheckedAt_.load(std::memory_order_relaxed);
  if (now < checked || now - checked >= kZoneCheckSeconds) {
    zoneCheckedAt_.store(now, std::memory_order_relaxed);
    tzset();
  }
  return static_cast<int32_t>(LocalTime(now).tm_gmtoff / 60);
}
#endif

}  // namespace tavrik
