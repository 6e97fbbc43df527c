#include "events/EventOutputs.h"

#include "events/EventRequests.h"
#include "events/HttpEventOutput.h"
#include "events/SocketEventOutput.h"

namespace tavrik {

EventOutputs::EventOutputs(Platform& platform, const std::vector<EventOutputConfig>& configs) {
  for (const EventOutputConfig& config : configs) {
    std::unique_ptr<EventOutput> output;
    if (IsHttpEventOutput(config.type)) {
      output = std::make_unique<HttpEventOutput>(platform, config);
    } else {
      output = std::make_unique<SocketEventOutput>(platform, config);
    }
    outputs_.push_back({config.name, std::move(output)});
  }
}

void EventOutputs::Start() {
  for (const Named& named : outputs_) named.output->Start();
}

void EventOutputs::Stop() {
  for (const Named& named : outputs_) named.output->Stop();
}

std::vector<EventOutputStatus> EventOutputs::Status() const {
  std::vector<EventOutputStatus> status;
  for (const Named& named : outputs_) status.push_back({named.name, named.output->Counters()});
  return status;
}

}  // namespace tavrik
