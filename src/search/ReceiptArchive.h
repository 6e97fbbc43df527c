#pragma once
// The receipts kept beyond the few in memory, read without waiting: each
// answer comes later, on the event thread, from work done elsewhere. An
// answer whose asker has gone must be ignored by the asker; the archive
// drops every answer not yet given when it is destroyed.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "search/ReceiptQuery.h"
#include "search/StoredReceipt.h"

namespace tavrik {

struct ArchivePage {
  std::vector<StoredReceipt> receipts;  // newest first
  std::optional<uint64_t> next;         // `before` of the next page, if one follows
  std::string error;                    // the archive could not be read: nothing else holds
};

// What was made of a receipt's stored frame (see ReceiptArchive::UseFrame).
struct ArchiveMade {
  bool made = false;   // false: no such receipt, none of its bytes kept, or use declined
  std::string bytes;   // what use made
  std::string error;   // the archive could not be read: nothing else holds
};
// Work on a stored frame, done on the archive's worker: what it makes into
// made; false when it declines. Called on one thread at a time.
using FrameUse = std::function<bool(std::string_view frame, std::string& made)>;

// Receipts of one search taken in turns, newest first, so that no more than a
// chunk of them is held at once.
class ArchiveCursor {
 public:
  virtual ~ArchiveCursor() = default;
  // The next receipts: a few, together some tens of KiB of text (at least one
  // receipt while any is left); none once the search is exhausted. One pull
  // at a time.
  virtual void Pull(std::function<void(ArchivePage)> done) = 0;
};

class ReceiptArchive {
 public:
  virtual ~ReceiptArchive() = default;
  // A page of receipts that match, newest first.
  virtual void Search(const ReceiptQuery& query, std::function<void(ArchivePage)> done) = 0;
  // The receipt numbered seq: a page of it alone, or of none.
  virtual void Find(uint64_t seq, std::function<void(ArchivePage)> done) = 0;
  // Up to `count` receipts numbered above `after` and below `below`, of
  // epochMs from `sinceMs` on, oldest first; the newest of them when more
  // would do.
  virtual void Between(uint64_t after, uint64_t below, int64_t sinceMs, int count,
                       std::function<void(ArchivePage)> done) = 0;
  // The bytes stored of receipt seq, given to use off the event thread, so
  // that the costly work on them is done there too; then its result to done.
  virtual void UseFrame(uint64_t seq, FrameUse use, std::function<void(ArchiveMade)> done) = 0;
  // Every receipt that matches, below `before` and whatever the limit, in turns.
  virtual std::unique_ptr<ArchiveCursor> Export(const ReceiptQuery& query) = 0;
};

}  // namespace tavrik
