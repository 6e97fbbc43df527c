#pragma once
// CPU time and memory of a process, read from /proc.
#include <cstdint>

namespace tavrik::load {

struct ProcessSample {
  bool valid = false;
  double cpuMs = 0;       // utime + stime from /proc/PID/stat (clock-tick resolution)
  double cpuMsFine = 0;   // run time of all threads from /proc/PID/task/*/schedstat (ns resolution)
  int64_t peakRssKb = 0;  // VmHWM
  int64_t rssKb = 0;      // VmRSS
};

class ProcessProbe {
 public:
  static ProcessSample Sample(int pid);
};

}  // namespace tavrik::load
