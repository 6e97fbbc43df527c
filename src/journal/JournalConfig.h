#pragma once
// The receipt journal an outputs file's [journal] table configures.
#include <cstdint>
#include <string>

namespace tavrik {

struct JournalConfig {
  std::string path;           // the SQLite file; its folder must be writable
  int32_t retentionDays = 90;  // older receipts are removed
  int32_t maxMb = 1024;        // the oldest receipts go first when the file reaches this
  bool storeRaw = false;       // keep the frames' bytes (unmasked card numbers and all)
  uint32_t pathLine = 0;       // the outputs file's line of "path", for start-up problems
};

}  // namespace tavrik
