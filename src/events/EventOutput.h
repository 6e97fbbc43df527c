#pragma once
// One [[event]] output: takes each event meant for it; event thread only;
// never blocks and never throws out of its calls.
#include <cstdint>
#include <string>

#include "rules/RuleEvent.h"

namespace tavrik {

struct EventOutputCounters {
  bool connected = false;  // the last delivery got through (or nothing was sent yet)
  uint64_t queued = 0;     // events waiting, the one under way included
  uint64_t sent = 0;       // events the receiver took (HTTP 2xx; TCP acknowledged; UDP sent)
  uint64_t dropped = 0;    // events lost to a full queue
  uint64_t failures = 0;   // attempts that failed (no answer, or not 2xx)
};

class EventOutput {
 public:
  virtual ~EventOutput() = default;
  virtual void Start() = 0;
  virtual void Stop() = 0;
  virtual void Deliver(const RuleEvent& event) = 0;
  virtual const std::string& Name() const = 0;
  virtual EventOutputCounters Counters() const = 0;
};

}  // namespace tavrik
