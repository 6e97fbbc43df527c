#include "journal/sqlite/SqliteJournalStore.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <memory>

#include "journal/JournalSchema.h"
#include "journal/JournalSetUp.h"

namespace tavrik {
namespace {

// Waits this long for a reader's checkpoint or lock before a write fails.
constexpr int kBusyTimeoutMs = 500;

const char* const kInsert =
    "INSERT INTO receipts(seq, time, epoch_ms, utc_offset, cut, text, facts, rules, raw) "
    "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)";
const char* const kIndexedThrough = "SELECT CAST(value AS INTEGER) FROM journal_meta WHERE key = 'indexed_seq'";
const char* const kSetLastSeq =
    "INSERT INTO journal_meta(key, value) VALUES ('last_seq', ?1) ON CONFLICT(key) DO UPDATE "
    "SET value = excluded.value WHERE CAST(excluded.value AS INTEGER) > CAST(value AS INTEGER)";

void BindText(sqlite3_stmt* statement, int index, const std::string& text) {
  sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
}

// Empty text is stored as NULL: the receipt has none of it.
void BindTextOrNull(sqlite3_stmt* statement, int index, const std::string& text) {
  if (text.empty()) {
    sqlite3_bind_null(statement, index);
  } else {
    BindText(statement, index, text);
  }
}

}  // namespace

bool JournalAvailable() { return true; }

std::unique_ptr<JournalStore> CreateJournalStore(const JournalConfig& config) {
  return std::make_unique<SqliteJournalStore>(config.path);
}

JournalStore::Failure SqliteJournalStore::Open() {
  Close();
  const int opened = sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (opened != SQLITE_OK) {
    Failure failure = Reason(opened);
    Close();
    return failure;
  }
  sqlite3_extended_result_codes(db_, 1);
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  Failure failure = Execute(kJournalSchema.data());
  if (!failure) failure = Execute("PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL;");
  if (!failure) {
    failure = Execute(("INSERT OR IGNORE INTO journal_meta(key, value) VALUES ('schema', '" +
                       std::to_string(kJournalSchemaVersion) + "'), ('last_seq', '0')").c_str());
  }
  if (!failure && QueryNumber("SELECT value FROM journal_meta WHERE key = 'schema'") != kJournalSchemaVersion) {
    failure = "the file holds another version of the journal";
  }
  if (!failure) failure = Prepare(kInsert, insert_);
  if (!failure) failure = Prepare(kSetLastSeq, setLastSeq_);
  struct stat info {};
  if (!failure && ::stat(path_.c_str(), &info) != 0) failure = "the file was removed";
  if (failure) {
    Close();
    return failure;
  }
  device_ = static_cast<uint64_t>(info.st_dev);
  inode_ = static_cast<uint64_t>(info.st_ino);
  return std::nullopt;
}

void SqliteJournalStore::Close() {
  sqlite3_finalize(insert_);
  sqlite3_finalize(setLastSeq_);
  insert_ = setLastSeq_ = nullptr;
  if (db_) sqlite3_close_v2(db_);
  db_ = nullptr;
}

uint64_t SqliteJournalStore::LastSequence() {
  const int64_t kept = QueryNumber("SELECT CAST(value AS INTEGER) FROM journal_meta WHERE key = 'last_seq'");
  const int64_t newest = QueryNumber("SELECT MAX(seq) FROM receipts");
  return static_cast<uint64_t>(kept > newest ? kept : newest);
}

bool SqliteJournalStore::StillAtPath() const {
  struct stat info {};
  return ::stat(path_.c_str(), &info) == 0 && static_cast<uint64_t>(info.st_dev) == device_ &&
         static_cast<uint64_t>(info.st_ino) == inode_;
}

JournalStore::Failure SqliteJournalStore::Write(std::span<const JournalEntry> batch) {
  if (!db_) return "not open";
  if (Failure failure = Execute("BEGIN IMMEDIATE")) return failure;
  uint64_t newest = 0;
  for (const JournalEntry& entry : batch) {
    sqlite3_bind_int64(insert_, 1, static_cast<sqlite3_int64>(entry.sequence));
    BindText(insert_, 2, entry.time);
    sqlite3_bind_int64(insert_, 3, entry.epochMs);
    sqlite3_bind_int(insert_, 4, entry.utcOffsetMinutes);
    sqlite3_bind_int(insert_, 5, entry.cut ? 1 : 0);
    BindText(insert_, 6, entry.text);
    BindTextOrNull(insert_, 7, entry.facts);
    BindTextOrNull(insert_, 8, entry.rules);
    if (entry.raw.empty()) {
      sqlite3_bind_null(insert_, 9);
    } else {
      sqlite3_bind_blob(insert_, 9, entry.raw.data(), static_cast<int>(entry.raw.size()), SQLITE_STATIC);
    }
    const int stepped = sqlite3_step(insert_);
    sqlite3_reset(insert_);
    if (stepped != SQLITE_DONE) return Rollback(Reason(stepped));
    if (entry.sequence > newest) newest = entry.sequence;
  }
  const std::string last = std::to_string(newest);
  BindText(setLastSeq_, 1, last);
  const int stepped = sqlite3_step(setLastSeq_);
  sqlite3_reset(setLastSeq_);
  if (stepped != SQLITE_DONE) return Rollback(Reason(stepped));
  if (Failure failure = Execute("COMMIT")) return Rollback(failure);
  return std::nullopt;
}

JournalStore::Failure SqliteJournalStore::Index(size_t maxRows, uint64_t& indexedThrough, bool& more) {
  more = false;
  if (!db_) return "not open";
  if (Failure failure = Execute("BEGIN IMMEDIATE")) return failure;
  int64_t from = 0;
  int64_t newest = 0;
  int64_t last = 0;
  Failure failure = ReadNumber(kIndexedThrough, from);
  const std::string rows =
      " FROM receipts WHERE seq > " + std::to_string(from) + " ORDER BY seq LIMIT " + std::to_string(maxRows);
  if (!failure) failure = ReadNumber(("SELECT IFNULL(MAX(seq), 0) FROM (SELECT seq" + rows + ")").c_str(), newest);
  if (!failure && newest > from) {
    failure = Execute(("INSERT INTO receipts_text(rowid, text) SELECT seq, text" + rows).c_str());
    if (!failure) {
      failure = Execute(
          ("UPDATE journal_meta SET value = '" + std::to_string(newest) + "' WHERE key = 'indexed_seq'").c_str());
    }
  }
  if (!failure) failure = ReadNumber("SELECT IFNULL(MAX(seq), 0) FROM receipts", last);
  if (!failure) failure = Execute("COMMIT");
  if (failure) return Rollback(failure);
  indexedThrough = static_cast<uint64_t>(std::max(from, newest));
  more = last > newest && newest > from;
  return std::nullopt;
}

JournalStore::Failure SqliteJournalStore::Retain(int64_t oldestKeptMs, uint64_t maxBytes, bool& more) {
  more = false;
  if (!db_) return "not open";
  const std::string rows = std::to_string(kRetentionRows);
  const int64_t pageSize = QueryNumber("PRAGMA page_size");
  const int64_t used = (QueryNumber("PRAGMA page_count") - QueryNumber("PRAGMA freelist_count")) * pageSize;
  // Each by its index: a step that finds nothing to remove reads next to nothing.
  std::string oldest = "SELECT seq FROM receipts ";
  if (used > static_cast<int64_t>(maxBytes)) {
    oldest += "ORDER BY seq LIMIT " + rows;
  } else {
    oldest += "WHERE epoch_ms < " + std::to_string(oldestKeptMs) + " ORDER BY epoch_ms, seq LIMIT " + rows;
  }
  // The index forgets a receipt by its text, so only one it holds.
  if (Failure failure = Execute("BEGIN IMMEDIATE")) return failure;
  Failure failure = Execute(("INSERT INTO receipts_text(receipts_text, rowid, text) SELECT 'delete', seq, text "
                             "FROM receipts WHERE seq IN (" + oldest + ") AND seq <= (" + kIndexedThrough + ")")
                                .c_str());
  if (!failure) failure = Execute(("DELETE FROM receipts WHERE seq IN (" + oldest + ")").c_str());
  const bool full = sqlite3_changes(db_) == kRetentionRows;
  if (!failure) failure = Execute("COMMIT");
  if (failure) return Rollback(failure);
  more = full;
  // The text index keeps what was removed until its segments merge: a
  // small merge step each time, so that its pages come free too. Negative:
  // across levels too, where the removals' marks meet what they remove.
  if (more) {
    if (Failure merged = Execute("INSERT INTO receipts_text(receipts_text, rank) VALUES ('merge', -200)")) return merged;
  }
  if (QueryNumber("PRAGMA freelist_count") > 0) return Execute("PRAGMA incremental_vacuum");
  return std::nullopt;
}

JournalStore::Failure SqliteJournalStore::Execute(const char* sql) {
  const int result = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
  if (result == SQLITE_OK) return std::nullopt;
  return Reason(result);
}

JournalStore::Failure SqliteJournalStore::Prepare(const char* sql, sqlite3_stmt*& statement) {
  const int result = sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
  if (result == SQLITE_OK) return std::nullopt;
  return Reason(result);
}

JournalStore::Failure SqliteJournalStore::Rollback(Failure failure) {
  if (db_ && !sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  return failure;
}

JournalStore::Failure SqliteJournalStore::ReadNumber(const char* sql, int64_t& value) {
  sqlite3_stmt* statement = nullptr;
  int result = sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr);
  if (result == SQLITE_OK) result = sqlite3_step(statement);
  if (result == SQLITE_ROW) value = sqlite3_column_int64(statement, 0);
  sqlite3_finalize(statement);
  if (result == SQLITE_ROW || result == SQLITE_DONE) return std::nullopt;
  return Reason(result);
}

int64_t SqliteJournalStore::QueryNumber(const char* sql) {
  int64_t value = 0;
  ReadNumber(sql, value);
  return value;
}

std::string SqliteJournalStore::Reason(int code) const {
  switch (code & 0xff) {
    case SQLITE_FULL: return "disk full";
    case SQLITE_READONLY: return "read-only";
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB: return "the file is corrupt or no journal";
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return "locked by another program";
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN: {
      const int error = db_ ? sqlite3_system_errno(db_) : 0;
      if (error == ENOSPC) return "disk full";
      if (error == EROFS || error == EACCES || error == EPERM) return "read-only";
      if (error != 0) return std::strerror(error);
      return sqlite3_errstr(code);
    }
    default: return sqlite3_errstr(code);
  }
}

}  // namespace tavrik
