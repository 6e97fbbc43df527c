#pragma once
// Wall-clock time as the relay reports it.
#include <cstdint>
#include <string>

namespace tavrik {

class Clock {
 public:
  virtual ~Clock() = default;
  // Local time of day in seconds since midnight, taken with single precision
  // and widened to double.
  virtual double SecondsSinceMidnight() const = 0;
  // Local date and time as "YYYY-MM-DD HH:MM:SS".
  virtual std::string LocalDateTimeText() const = 0;
  // Milliseconds since 1970-01-01 00:00:00 UTC.
  virtual int64_t UnixTimeMs() const = 0;
  // Local time minus UTC now, in minutes: 60 for "+01:00".
  virtual int32_t UtcOffsetMinutes() const = 0;
};

// Rounds through single precision, as the time-of-day fields are kept.
inline double ToSinglePrecision(double seconds) { return static_cast<double>(static_cast<float>(seconds)); }

}  // namespace tavrik
