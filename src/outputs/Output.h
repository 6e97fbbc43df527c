#pragma once
// One configured output: a recorder, a text server or the MQTT link. Gets
// every receipt from Outputs; event thread only; never blocks and never throws
// out of its calls.
#include <cstdint>
#include <string>

#include "pipeline/ReceiptRecord.h"

namespace tavrik {

// What an output reports about itself (status pages, tests).
struct OutputCounters {
  bool connected = false;  // TCP connected, broker connected, or (text server) listening
  uint64_t queued = 0;     // receipts waiting to go out, or sent and not yet acknowledged
  uint64_t sent = 0;       // receipts acknowledged (TCP recorder, MQTT QoS 1), written or handed to the network
  uint64_t dropped = 0;    // receipts lost to a full queue or a slow reader
};

class Output {
 public:
  virtual ~Output() = default;
  virtual void Start() = 0;
  virtual void Stop() = 0;
  virtual void Deliver(const ReceiptRecord& frame) = 0;
  // "recorder tcp 10.0.0.5:9000", "text server :9100", "mqtt broker:1883": used in log lines.
  virtual const std::string& Name() const = 0;
  virtual OutputCounters Counters() const = 0;
};

}  // namespace tavrik
