#pragma once
// CLOCK_MONOTONIC in nanoseconds: the one time base of the feeder, the
// clients and the report, so that times taken on different threads compare.
// The tool's own CPU time is reported too: on a small machine the tool and
// the relay share the cores.
#include <time.h>

#include <cstdint>

namespace tavrik::load {

inline int64_t MonotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// CPU time of the calling thread.
inline int64_t ThreadCpuNs() {
  timespec used{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &used);
  return static_cast<int64_t>(used.tv_sec) * 1000000000 + used.tv_nsec;
}

inline double SecondsBetween(int64_t from, int64_t to) {
  return static_cast<double>(to - from) / 1e9;
}

}  // namespace tavrik::load
