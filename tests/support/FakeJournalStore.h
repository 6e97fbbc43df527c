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
};

class FakeJournalStore final : public JournalStore {
 public:
  explicit FakeJournalStore(FakeJournalDisk& disk) : disk_(disk) {}

  Failure Open() override {
    ++disk_.opens;
    if (disk_.failure) return disk_.failure;
    if (disk_.removed) disk_ = {{}, 0, std::nullopt, false, disk_.opens, disk_.retentionSteps};  // created anew
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
    for (const JournalEntry& entry : batch) {
      disk_.rows.push_back(entry);
      disk_.lastSeq = std::max(disk_.lastSeq, entry.sequence);
    }
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
