#pragma once
// Every [[event]] output of the outputs file. Each event goes to the
// outputs its rule names, or to all of them. Event thread only.
#include <memory>
#include <string>
#include <vector>

#include "events/EventNotice.h"
#include "events/EventOutput.h"
#include "events/EventOutputConfig.h"
#include "platform/Platform.h"

namespace tavrik {

struct EventOutputStatus {
  std::string name;  // the table's name
  EventOutputCounters counters;
};

class EventOutputs {
 public:
  EventOutputs(Platform& platform, const std::vector<EventOutputConfig>& configs);

  void Start();
  void Stop();
  // targets: the names of the outputs it goes to; empty: every one.
  void Deliver(const EventNotice& event, const std::vector<std::string>& targets);
  std::vector<EventOutputStatus> Status() const;
  bool Empty() const { return outputs_.empty(); }

 private:
  struct Named {
    std::string name;
    std::unique_ptr<EventOutput> output;
  };
  std::vector<Named> outputs_;
};

}  // namespace tavrik
