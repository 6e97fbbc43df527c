// A build without SQLite: no journal, so nothing to read.
#include "search/JournalReaderSetUp.h"

namespace tavrik {

std::unique_ptr<ReceiptArchive> CreateJournalReader(Platform& /*platform*/, const std::string& /*path*/) {
  return nullptr;
}

}  // namespace tavrik
