// The system clock's local times under time zones set through TZ.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "platform/asio/SystemClock.h"

namespace tavrik {
namespace {

class ZoneOverride {
 public:
  explicit ZoneOverride(const char* zone) {
    if (const char* old = std::getenv("TZ")) old_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ZoneOverride() {
    if (old_) {
      setenv("TZ", old_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  std::optional<std::string> old_;
};

std::string UtcText(std::time_t t) {
  std::tm tm{};
  gmtime_r(&t, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
  return text;
}

TEST(SystemClockTest, LocalTimeAndOffsetFollowTheZone) {
  struct Case {
    const char* zone;
    int32_t minutes;
  };
  // Daylight saving all year round shows the offset includes it.
  for (const Case& c : {Case{"UTC0", 0}, Case{"IST-5:30", 330}, Case{"<-03>3", -180},
                        Case{"XST5XDT,J1/0,J365/25", -240}}) {
    SCOPED_TRACE(c.zone);
    ZoneOverride zone(c.zone);
    const SystemClock clock;
    EXPECT_EQ(clock.UtcOffsetMinutes(), c.minutes);
    // The same second read twice, unless it turned over between the reads.
    for (int attempt = 0;; ++attempt) {
      const std::time_t before = clock.UnixTimeMs() / 1000;
      const std::string local = clock.LocalDateTimeText();
      if (clock.UnixTimeMs() / 1000 != before && attempt < 3) continue;
      EXPECT_EQ(local, UtcText(before + c.minutes * 60));
      break;
    }
  }
}

}  // namespace
}  // namespace tavrik
