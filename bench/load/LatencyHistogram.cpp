#include "load/LatencyHistogram.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace tavrik::load {

int LatencyHistogram::Bucket(uint64_t value) {
  constexpr uint64_t kSub = 1u << kSubBits;
  if (value < kSub) return static_cast<int>(value);
  const int exponent = 63 - std::countl_zero(value);         // at least kSubBits
  const uint64_t mantissa = value >> (exponent - kSubBits);  // kSub .. 2 kSub - 1
  return ((exponent - kSubBits + 1) << kSubBits) + static_cast<int>(mantissa - kSub);
}

int64_t LatencyHistogram::BucketMiddle(int index) {
  constexpr int kSub = 1 << kSubBits;
  if (index < kSub) return index;
  const int exponent = (index >> kSubBits) + kSubBits - 1;
  const auto mantissa = static_cast<uint64_t>((index & (kSub - 1)) + kSub);
  const int shift = exponent - kSubBits;
  const uint64_t low = mantissa << shift;
  return static_cast<int64_t>(low + ((uint64_t{1} << shift) >> 1));
}

void LatencyHistogram::Add(int64_t ns) {
  const int64_t value = std::max<int64_t>(ns, 0);
  ++counts_[static_cast<size_t>(Bucket(static_cast<uint64_t>(value)))];
  ++count_;
  max_ = std::max(max_, value);
}

int64_t LatencyHistogram::Percentile(double q) const {
  if (count_ == 0) return 0;
  const auto rank = static_cast<uint64_t>(std::ceil(q * static_cast<double>(count_)));
  uint64_t seen = 0;
  for (int i = 0; i < kBuckets; ++i) {
    seen += counts_[static_cast<size_t>(i)];
    if (seen >= std::max<uint64_t>(rank, 1)) return std::min(BucketMiddle(i), max_);
  }
  return max_;
}

}  // namespace tavrik::load
