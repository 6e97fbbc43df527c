#pragma once
// Where the journal's receipts are kept: an SQLite file (SqliteJournalStore)
// or a test's fake. Called only on the journal's worker thread, and before
// the event loop runs; never from two threads at once. A call that fails
// returns why, in a few words ("disk full"); std::nullopt: it worked.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "journal/JournalEntry.h"

namespace tavrik {

class JournalStore {
 public:
  using Failure = std::optional<std::string>;

  virtual ~JournalStore() = default;
  // Opens the file, creating it and its tables when missing.
  virtual Failure Open() = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  // The highest sequence number ever written, also when retention removed
  // its receipt; 0 for a new journal. Only while open.
  virtual uint64_t LastSequence() = 0;
  // False once the path names another file than the one opened, or none:
  // the file was removed or replaced, and writes would go nowhere.
  virtual bool StillAtPath() const = 0;
  // Writes the receipts in one transaction: all of them or none.
  virtual Failure Write(std::span<const JournalEntry> batch) = 0;
  // Adds the text of up to maxRows of the oldest receipts not yet in the
  // full-text index to it, in one transaction. Sets indexedThrough to the
  // newest sequence number indexed so far, and more when receipts are left.
  virtual Failure Index(size_t maxRows, uint64_t& indexedThrough, bool& more) = 0;
  // One small step of retention: removes a few hundred of the oldest
  // receipts older than oldestKeptMs, or beyond maxBytes of content, from
  // the table and the index, and gives their pages back to the file system.
  // Sets more when another step would remove more.
  virtual Failure Retain(int64_t oldestKeptMs, uint64_t maxBytes, bool& more) = 0;
};

}  // namespace tavrik
