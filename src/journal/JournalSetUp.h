#pragma once
// What start-up needs of the journal before anything runs.
#include <memory>
#include <optional>
#include <string>

#include "journal/JournalConfig.h"
#include "journal/JournalStore.h"

namespace tavrik {

// False in a build without SQLite, which refuses a [journal] table.
bool JournalAvailable();

// The SQLite store of config's path; null without SQLite.
std::unique_ptr<JournalStore> CreateJournalStore(const JournalConfig& config);

// Why the folder of path cannot take the journal's files, or std::nullopt.
// Tried by creating a file there: a check of the permissions alone would
// pass for root on a read-only file system.
std::optional<std::string> JournalFolderProblem(const std::string& path);

}  // namespace tavrik
