// A build without SQLite: the outputs file's [journal] is refused at start-up,
// so nothing asks for a store.
#include "journal/JournalSetUp.h"

namespace tavrik {

bool JournalAvailable() { return false; }

std::unique_ptr<JournalStore> CreateJournalStore(const JournalConfig& /*config*/) { return nullptr; }

}  // namespace tavrik
