// A build without an MQTT client library: the outputs file reader rejects
// an [mqtt] table, so nothing asks for the output.
#include "outputs/MqttOutput.h"

namespace tavrik {

bool MqttAvailable() { return false; }

std::optional<MqttSetUpProblem> CheckMqttSetUp(const MqttConfig& /*config*/) { return std::nullopt; }

std::unique_ptr<MqttOutput> CreateMqttOutput(Platform& /*platform*/, const MqttConfig& /*config*/) { return nullptr; }

}  // namespace tavrik
