#pragma once
// The reader of the journal file at path for the web port; null in a build
// without SQLite, which refuses a [journal] table at start-up.
#include <memory>
#include <string>

#include "platform/Platform.h"
#include "search/ReceiptArchive.h"

namespace tavrik {

std::unique_ptr<ReceiptArchive> CreateJournalReader(Platform& platform, const std::string& path);

}  // namespace tavrik
