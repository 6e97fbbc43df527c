#pragma once
// Puts the outputs file's rules to work (start-up only): the engine sees
// every receipt before the relay's other listeners and the passed-through
// printer's drawer replies, and raises its events on the web port, MQTT and
// the [[event]] outputs. Null without rules. The engine must outlive the
// relay, which calls it, and the relay and outputs must outlive the engine's
// last event.
#include <memory>

#include "controller/Relay.h"
#include "controller/Settings.h"
#include "events/EventOutputs.h"
#include "outputs/Outputs.h"
#include "outputs/OutputsConfig.h"
#include "rules/RuleEngine.h"

namespace tavrik {

std::unique_ptr<RuleEngine> StartRules(Platform& platform, const Settings& settings, const OutputsConfig& config,
                                       Relay& relay, Outputs* outputs, EventOutputs* events);

}  // namespace tavrik
