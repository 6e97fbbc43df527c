#pragma once
// Every [[event]] output of the outputs file, each a sink of the rules by
// its name (see RuleEngine::AddSink). Event thread only.
#include <memory>
#include <string>
#include <vector>

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
  // Each output's name and the output, in the file's order.
  template <typename Visit>
  void ForEach(Visit visit) const {
    for (const Named& named : outputs_) visit(named.name, *named.output);
  }
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
