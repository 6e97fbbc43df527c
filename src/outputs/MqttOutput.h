#pragma once
// The MQTT output: receipts as JSON to <topic>/receipt, rule events to
// <topic>/event (queued with the receipts, in order), a retained
// <topic>/status (online, with a last will of offline) and, retained,
// printer health on <topic>/printer. Made by CreateMqttOutput, which a build
// without an MQTT client library does not provide (MqttAvailable() false).
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "outputs/Output.h"
#include "outputs/OutputsConfig.h"
#include "platform/Platform.h"

namespace tavrik {

class MqttOutput : public Output {
 public:
  // A printer health change ("online, paper OK"), published retained.
  virtual void PublishPrinterStatus(std::string_view description) = 0;
  // A rule's event document, at the QoS of the receipts.
  virtual void PublishEvent(std::string_view json) = 0;
};

// A step of setting the client up that failed: the outputs file's key it
// comes from ("mqtt.ca_file") and what went wrong.
struct MqttSetUpProblem {
  std::string key;
  std::string problem;
};

bool MqttAvailable();
// Sets a client up as every connection does (login, TLS), so that a step
// that fails stops the start instead of each attempt. Empty when all went
// well, and always without MQTT.
std::optional<MqttSetUpProblem> CheckMqttSetUp(const MqttConfig& config);
// nullptr when MqttAvailable() is false.
std::unique_ptr<MqttOutput> CreateMqttOutput(Platform& platform, const MqttConfig& config);

}  // namespace tavrik
