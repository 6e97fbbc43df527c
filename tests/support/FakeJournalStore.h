#pragma once
// A journal store in memory whose "disk" the test controls: it can fail
// every call with a reason, or lose its file (writes then go nowhere, as
// SQLite's do into a removed file, until the file is opened again).
#include <optional>
#include <string>
#include <vector>

#include "journal/JournalStore.h"

namespace tavrik::test {

struct FakeJournalDisk {
  std::vector<JournalEntry> rows;  // in the file at the path
  uint64_t lastSeq = 0;
  std::optional<std::string> failure;  // every call fails with it while set
  bool removed = false;                // the path names no file
  int opens = 0;
  int retentionSteps = 0;
  std::optional<std::string> indexFailure;  // Index fails with it while set
  uint64_t indexedSeq = 0;
  std::string calls;  // "W<receipts> " per write, "I " per index step
};

class FakeJournalStore final : public JournalStore {
 public:
  explicit FakeJournalStore(FakeJournalDisk& disk) : disk_(disk) {}

  Failure Open() override {
    ++disk_.opens;
    if (disk_.failure) return disk_.failure;
    if (disk_.removed) disk_ = {{}, 0, std::nullopt, false, disk_.opens, disk_.retentionSteps, disk_.indexFailure, 0, disk_.calls};  // created anew
    open_ = true;
    return std::nullopt;
  }
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }
  uint64_t LastSequence() override { return disk_.lastSeq; }
  bool StillAtPath() const override { return !disk_.removed; }
  Failure Write(std::span<const JournalEntry> batch) override {
    if (disk_.failure) return disk_.failure;
    if (disk_.removed) return std::nullopt;  // into the unlinked file
    disk_.calls += "W" + std::to_string(batch.size()) + " ";
    for (const JournalEntry& entry : batch) {
      disk_.rows.push_back(entry);
      disk_.lastSeq = std::max(disk_.lastSeq, entry.sequence);
    }
    return std::nullopt;
  }
  Failure Index(size_t maxRows, uint64_t& indexedThrough, bool& more) override {
    more = false;
    if (disk_.failure) return disk_.failure;
    if (disk_.indexFailure) return disk_.indexFailure;
    disk_.calls += "I ";
    size_t added = 0;
    for (const JournalEntry& entry : disk_.rows) {
      if (entry.sequence <= disk_.indexedSeq) continue;
      if (added == maxRows) break;
      disk_.indexedSeq = entry.sequence;
      ++added;
    }
    indexedThrough = disk_.indexedSeq;
    more = !disk_.rows.empty() && disk_.rows.back().sequence > disk_.indexedSeq;
    return std::nullopt;
  }
  Failure Retain(int64_t /*oldestKeptMs*/, uint64_t /*maxBytes*/, bool& more) override {
    ++disk_.retentionSteps;
    more = false;
    return disk_.failure;
  }

 private:
  FakeJournalDisk& disk_;
  bool open_ = false;
};

}  // namespace tavrik::test
