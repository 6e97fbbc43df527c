#pragma once
// Every output of an outputs file, fed with each receipt.
// Owns the outputs; event thread only.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "outputs/MqttOutput.h"
#include "outputs/Output.h"
#include "outputs/OutputsConfig.h"
#include "pipeline/ReceiptListener.h"
#include "platform/Platform.h"

namespace tavrik {

struct OutputStatus {
  std::string name;
  OutputCounters counters;
};

class Outputs final : public ReceiptListener {
 public:
  Outputs(Platform& platform, const OutputsConfig& config);

  void Start();
  void Stop();
  void OnReceipt(const ReceiptRecord& receipt) override;
  // For the printer-tap work: a printer health change, to MQTT when configured.
  void PublishPrinterStatus(std::string_view description);
  // A rule's event, to MQTT when configured.
  void PublishEvent(std::string_view json);

  // Each output's name and counters, in configuration order.
  std::vector<OutputStatus> Status() const;

 private:
  std::vector<std::unique_ptr<Output>> outputs_;
  MqttOutput* mqtt_ = nullptr;  // one of outputs_, when configured
};

}  // namespace tavrik
