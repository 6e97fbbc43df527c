#pragma once
// One receipt as the journal keeps it: a copy that outlives the listener's
// call, queued on the event thread and written on the worker's.
#include <cstddef>
#include <cstdint>
#include <string>

#include "pipeline/ReceiptRecord.h"

namespace tavrik {

struct JournalEntry {
  uint64_t sequence = 0;
  std::string time;  // local "YYYY-MM-DD HH:MM:SS"
  int64_t epochMs = 0;
  int32_t utcOffsetMinutes = 0;
  bool cut = false;
  std::string text;   // card numbers masked, as the pipeline hands it over
  std::string facts;  // JSON object of drawer pulses, codes and image sizes; empty: none
  std::string raw;    // the frame's bytes; empty unless the journal keeps them

  // What the entry holds in memory, for the queue's bound.
  size_t Bytes() const { return sizeof(JournalEntry) + time.size() + text.size() + facts.size() + raw.size(); }
};

// facts: {"drawer":[{"pin":2,"onMs":100,"offMs":500}],"codes":[{"symbology":"QR","data":".."}],
//         "images":[{"kind":"raster","width":576,"height":64}]}, each key only where there are such facts.
JournalEntry MakeJournalEntry(const ReceiptRecord& receipt, bool keepRaw);

}  // namespace tavrik
