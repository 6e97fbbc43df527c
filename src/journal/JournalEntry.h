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
  std::string rules;  // JSON array of the names of the rules it matched; empty: none
  std::string raw;    // the frame's bytes; empty unless the journal keeps them

  // What the entry holds in memory, for the queue's bound and for reuse.
  size_t Bytes() const {
    return sizeof(JournalEntry) + time.capacity() + text.capacity() + facts.capacity() + rules.capacity() +
           raw.capacity();
  }
};

// facts: {"drawer":[{"pin":2,"onMs":100,"offMs":500}],"codes":[{"symbology":"QR","data":".."}],
//         "images":[{"kind":"raster","width":576,"height":64}]}, each key only where there are such facts.
// rules: ["refund","void"].
// Fills entry with receipt, in the room its strings have from an earlier use.
void FillJournalEntry(JournalEntry& entry, const ReceiptRecord& receipt, bool keepRaw);

}  // namespace tavrik
