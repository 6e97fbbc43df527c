#pragma once
// What the web port reports about the relay, and where it gets it from.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tavrik {

// One output of the outputs file (-k): a recorder, a text server or MQTT.
struct OutputReport {
  std::string name;
  bool connected = false;
  uint64_t queued = 0;
  uint64_t sent = 0;
  uint64_t dropped = 0;
};

// One rule of the outputs file and its hits since start.
struct RuleReport {
  std::string name;
  uint64_t matches = 0;
};

// Text read from receipts printed as images, when that is on.
struct RecognitionReport {
  uint64_t read = 0;
  uint64_t skipped = 0;
};

// The receipt journal, when the outputs file configures one.
struct JournalReport {
  bool ok = true;  // false during an outage
  std::string path;
  uint64_t queued = 0;
  uint64_t written = 0;
  uint64_t dropped = 0;
  uint64_t lastSeq = 0;
  uint64_t unindexed = 0;  // not yet in the full-text index
  std::string error;  // the outage's reason; empty while ok
};

struct RelayStatus {
  int64_t uptimeSeconds = 0;
  std::string sourceKind;   // "network", "serial" or "file"
  std::string sourceState;  // e.g. "listening", "connected", "port open", "retrying"
  std::string sourcePeer;   // the connected peer, or the port or file, when known
  int64_t framesRelayed = 0;
  int64_t bytesRelayed = 0;
  int32_t clientsConnected = 0;  // streaming clients of the client port
  int64_t partsHeldBack = 0;     // for slow clients, since start
  int64_t partsDropped = 0;      // of those held back, since start
  int32_t logLevel = 0;
  std::string printerStatus = "unknown";
  std::vector<OutputReport> outputs;
  std::string till;  // this relay's name in the outputs file; empty: none
  std::vector<RuleReport> rules;
  std::vector<OutputReport> eventOutputs;  // [[event]]: where rule hits go
  std::optional<RecognitionReport> recognition;
  std::optional<JournalReport> journal;
  // Filled in by the web port itself.
  std::string webPort;  // "listening", or "retrying" while its port cannot be had
  bool pictures = false;  // GET /receipts/SEQ.png is served
  int32_t webConnections = 0;
  int64_t receiptsSkipped = 0;  // whole receipts a slow viewer did not get
  std::string lastFrameTime;    // "YYYY-MM-DD HH:MM:SS", empty before the first frame
};

// The relay, as the web port sees it. Event thread only.
class StatusSource {
 public:
  virtual ~StatusSource() = default;
  virtual RelayStatus CurrentStatus() const = 0;
};

}  // namespace tavrik
