#pragma once
// A journal file in a temporary folder, written with the journal's schema
// by the test itself (receipts of a minute apart, from a fixed start).
#include <sqlite3.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "journal/JournalSchema.h"

namespace tavrik::test {

class TestJournal {
 public:
  static constexpr int64_t kStartMs = 1767225600000;  // 2026-01-01 00:00 UTC
  static constexpr int64_t kStepMs = 60000;

  explicit TestJournal(int64_t startMs = kStartMs) : startMs_(startMs) {
    char pattern[] = "/tmp/tavrik-search-XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp");
    folder_ = pattern;
    path_ = folder_ + "/journal.db";
  }
  ~TestJournal() {
    sqlite3_close_v2(db_);
    std::filesystem::remove_all(folder_);
  }
  TestJournal(const TestJournal&) = delete;
  TestJournal& operator=(const TestJournal&) = delete;

  const std::string& Path() const { return path_; }
  void Create() {
    Check(sqlite3_open(path_.c_str(), &db_));
    Exec(std::string(kJournalSchema) + "PRAGMA journal_mode=WAL; PRAGMA synchronous=OFF;");
  }
  // Receipt seq at the start + (seq - 1) * kStepMs.
  void Add(uint64_t seq, const std::string& text, const char* facts = nullptr,
           const char* rules = nullptr) {
    if (!db_) Create();
    sqlite3_stmt* insert = nullptr;
    Check(sqlite3_prepare_v2(
        db_,
        "INSERT INTO receipts(seq, time, epoch_ms, utc_offset, cut, text, facts, rules)"
        " VALUES(?1, strftime('%Y-%m-%d %H:%M:%S', ?2 / 1000, 'unixepoch'), ?2, 0, ?1 % 2,"
        " ?3, ?4, ?5)",
        -1, &insert, nullptr));
    sqlite3_bind_int64(insert, 1, static_cast<int64_t>(seq));
    sqlite3_bind_int64(insert, 2, startMs_ + static_cast<int64_t>(seq - 1) * kStepMs);
    sqlite3_bind_text(insert, 3, text.c_str(), -1, SQLITE_TRANSIENT);
    if (facts) sqlite3_bind_text(insert, 4, facts, -1, SQLITE_STATIC);
    if (rules) sqlite3_bind_text(insert, 5, rules, -1, SQLITE_STATIC);
    const int result = sqlite3_step(insert);
    sqlite3_finalize(insert);
    if (result != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db_));
    const std::string n = std::to_string(seq);  // and indexed, as the journal's indexer does
    Exec("INSERT INTO receipts_text(rowid, text) SELECT seq, text FROM receipts WHERE seq = " + n +
         "; UPDATE journal_meta SET value = '" + n + "' WHERE key = 'indexed_seq'");
  }
  // The file removed and made anew, empty, as the journal does after an outage.
  void Recreate() {
    sqlite3_close_v2(db_);
    db_ = nullptr;
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path_ + suffix);
    Create();
  }
  void Exec(const std::string& sql) {
    Check(sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr));
  }

 private:
  void Check(int result) {
    if (result != SQLITE_OK)
      throw std::runtime_error(db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(result));
  }

  int64_t startMs_;
  std::string folder_;
  std::string path_;
  sqlite3* db_ = nullptr;
};

}  // namespace tavrik::test
