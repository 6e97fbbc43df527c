#include "outputs/Outputs.h"

#include "outputs/TcpRecorder.h"
#include "outputs/TextServer.h"
#include "outputs/UdpRecorder.h"

namespace tavrik {

Outputs::Outputs(Platform& platform, const OutputsConfig& config) {
  for (const RecorderConfig& recorder : config.recorders) {
    if (recorder.protocol == RecorderProtocol::kUdp) {
      outputs_.push_back(std::make_unique<UdpRecorder>(platform, recorder));
    } else {
      outputs_.push_back(std::make_unique<TcpRecorder>(platform, recorder));
    }
  }
  for (const TextServerConfig& server : config.textServers) {
    outputs_.push_back(std::make_unique<TextServer>(platform, server));
  }
  if (config.mqtt) {
    std::unique_ptr<MqttOutput> mqtt = CreateMqttOutput(platform, *config.mqtt);
    mqtt_ = mqtt.get();
    if (mqtt) outputs_.push_back(std::move(mqtt));
  }
}

void Outputs::Start() {
  for (const auto& output : outputs_) output->Start();
}

void Outputs::Stop() {
  for (const auto& output : outputs_) output->Stop();
}

void Outputs::OnReceipt(const ReceiptRecord& receipt) {
  for (const auto& output : outputs_) output->Deliver(receipt);
}

void Outputs::PublishPrinterStatus(std::string_view description) {
  if (mqtt_) mqtt_->PublishPrinterStatus(description);
}

void Outputs::PublishEvent(std::string_view json) {
  if (mqtt_) mqtt_->PublishEvent(json);
}

std::vector<OutputStatus> Outputs::Status() const {
  std::vector<OutputStatus> status;
  for (const auto& output : outputs_) status.push_back({output->Name(), output->Counters()});
  return status;
}

}  // namespace tavrik
