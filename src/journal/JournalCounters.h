#pragma once
// What the journal tells the web port's /status and /metrics.
#include <cstdint>
#include <string>

namespace tavrik {

struct JournalCounters {
  bool writing = true;   // false during an outage
  uint64_t queued = 0;   // receipts not yet committed
  uint64_t written = 0;  // committed since start
  uint64_t dropped = 0;  // turned away by the full queue since start
  uint64_t lastSeq = 0;  // the newest committed
  uint64_t unindexed = 0;  // committed, not yet in the full-text index
  std::string error;     // the outage's reason; empty while writing
};

}  // namespace tavrik
