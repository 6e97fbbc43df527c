#include "search/JournalReaderSetUp.h"

#include "search/sqlite/JournalReader.h"

namespace tavrik {

std::unique_ptr<ReceiptArchive> CreateJournalReader(Platform& platform, const std::string& path) {
  return std::make_unique<JournalReader>(platform, path);
}

}  // namespace tavrik
