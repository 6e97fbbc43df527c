#pragma once
// The journal in an SQLite file: WAL mode, synchronous=NORMAL (a commit
// survives the process being killed; an OS crash may lose the last
// commits, never the file), incremental auto-vacuum for retention. One
// connection, used from one thread at a time.
#include <cstdint>
#include <string>

#include "journal/JournalStore.h"

struct sqlite3;
struct sqlite3_stmt;

namespace tavrik {

class SqliteJournalStore final : public JournalStore {
 public:
  // Receipts removed per retention step: a few milliseconds of work.
  static constexpr int kRetentionRows = 300;

  explicit SqliteJournalStore(std::string path) : path_(std::move(path)) {}
  ~SqliteJournalStore() override { Close(); }
  SqliteJournalStore(const SqliteJournalStore&) = delete;
  SqliteJournalStore& operator=(const SqliteJournalStore&) = delete;

  Failure Open() override;
  void Close() override;
  bool IsOpen() const override { return db_ != nullptr; }
  uint64_t LastSequence() override;
  bool StillAtPath() const override;
  Failure Write(std::span<const JournalEntry> batch) override;
  Failure Index(size_t maxRows, uint64_t& indexedThrough, bool& more) override;
  Failure Retain(int64_t oldestKeptMs, uint64_t maxBytes, bool& more) override;

 private:
  Failure Execute(const char* sql);
  Failure Prepare(const char* sql, sqlite3_stmt*& statement);
  // The last error in a few words; the system's reason for I/O errors.
  std::string Reason(int code) const;
  // The first column of the first row, left as it is without one.
  Failure ReadNumber(const char* sql, int64_t& value);
  int64_t QueryNumber(const char* sql);  // 0 when there is none or it cannot be read
  Failure Rollback(Failure failure);

  std::string path_;
  sqlite3* db_ = nullptr;
  sqlite3_stmt* insert_ = nullptr;
  sqlite3_stmt* setLastSeq_ = nullptr;
  uint64_t device_ = 0;  // of the file opened
  uint64_t inode_ = 0;
};

}  // namespace tavrik
