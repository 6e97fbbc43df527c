#pragma once
// Latencies in nanoseconds, kept as counts in buckets 1/128 of a power of two
// wide (under 1 % error), so that millions of samples cost a few kB.
#include <array>
#include <cstdint>

namespace tavrik::load {

class LatencyHistogram {
 public:
  void Add(int64_t ns);
  // The value below which the fraction q of the samples lie (0 when empty).
  int64_t Percentile(double q) const;
  int64_t Max() const { return max_; }
  uint64_t Count() const { return count_; }

 private:
  static constexpr int kSubBits = 7;
  static constexpr int kBuckets = (64 - kSubBits + 1) << kSubBits;
  static int Bucket(uint64_t value);
  static int64_t BucketMiddle(int index);

  std::array<uint64_t, kBuckets> counts_{};
  uint64_t count_ = 0;
  int64_t max_ = 0;
};

}  // namespace tavrik::load
