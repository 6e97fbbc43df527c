#include "search/sqlite/JournalConnection.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <memory>

namespace tavrik {
namespace {

// The columns every answer reads, in StoredReceipt's order. The facts' arrays
// come out as JSON text; anything malformed there reads as none.
constexpr const char* kColumns =
    "r.seq, r.time, r.epoch_ms, r.utc_offset, r.cut, r.text,"
    " CASE WHEN json_valid(r.facts) AND json_type(r.facts, '$.drawer') = 'array'"
    "   THEN json_extract(r.facts, '$.drawer') ELSE '[]' END,"
    " CASE WHEN json_valid(r.facts) AND json_type(r.facts, '$.codes') = 'array'"
    "   THEN json_extract(r.facts, '$.codes') ELSE '[]' END,"
    " CASE WHEN json_valid(r.facts) AND json_type(r.facts, '$.images') = 'array'"
    "   THEN json_extract(r.facts, '$.images') ELSE '[]' END,"
    " CASE WHEN json_valid(r.rules) AND json_type(r.rules) = 'array'"
    "   THEN json_extract(r.rules, '$') ELSE '[]' END,"
    " CASE WHEN r.raw IS NULL THEN -1 ELSE length(r.raw) END";

// The receipt's rule hits hold ?7; a malformed array holds none (json_each
// would fail the whole search on it).
constexpr const char* kHitRule =
    " AND EXISTS (SELECT 1 FROM json_each(CASE WHEN json_valid(r.rules) AND"
    " json_type(r.rules) = 'array' THEN r.rules ELSE '[]' END) h"
    " WHERE h.type = 'text' AND h.value = ?7)";

struct StatementDeleter {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

std::string ColumnText(sqlite3_stmt* statement, int column) {
  const auto* text = sqlite3_column_text(statement, column);
  return text ? std::string(reinterpret_cast<const char*>(text),
                            static_cast<size_t>(sqlite3_column_bytes(statement, column)))
              : std::string();
}

StoredReceipt ReadRow(sqlite3_stmt* statement) {
  StoredReceipt receipt;
  receipt.seq = static_cast<uint64_t>(sqlite3_column_int64(statement, 0));
  receipt.time = ColumnText(statement, 1);
  receipt.epochMs = sqlite3_column_int64(statement, 2);
  receipt.utcOffsetMinutes = sqlite3_column_int(statement, 3);
  receipt.cut = sqlite3_column_int(statement, 4) != 0;
  receipt.text = ColumnText(statement, 5);
  receipt.drawer = ColumnText(statement, 6);
  receipt.codes = ColumnText(statement, 7);
  receipt.images = ColumnText(statement, 8);
  receipt.rules = ColumnText(statement, 9);
  receipt.rawBytes = sqlite3_column_int64(statement, 10);
  return receipt;
}

}  // namespace

JournalConnection::JournalConnection(std::string path) : path_(std::move(path)) {}

JournalConnection::~JournalConnection() {
  sqlite3_close_v2(db_);
}

bool JournalConnection::Open(std::string& error) {
  struct stat file {};
  const bool exists = ::stat(path_.c_str(), &file) == 0;
  if (db_ && exists && file.st_dev == device_ && file.st_ino == inode_) return true;
  sqlite3_close_v2(db_);
  db_ = nullptr;
  device_ = exists ? static_cast<uint64_t>(file.st_dev) : 0;
  inode_ = exists ? static_cast<uint64_t>(file.st_ino) : 0;
  const int result =
      sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
  if (result != SQLITE_OK) {
    error = "the journal cannot be read: ";
    error += db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(result);
    sqlite3_close_v2(db_);
    db_ = nullptr;
    return false;
  }
  sqlite3_busy_timeout(db_, 2000);  // the writer's checkpoint may hold it briefly
  return true;
}

// The connection is dropped after an error: the next call opens it afresh.
void JournalConnection::Fail(std::string& error) {
  error = "the journal cannot be read: ";
  error += sqlite3_errmsg(db_);
  sqlite3_close_v2(db_);
  db_ = nullptr;
}

sqlite3_stmt* JournalConnection::Prepare(const std::string& sql, std::string& error) {
  if (!Open(error)) return nullptr;
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &statement, nullptr) !=
      SQLITE_OK) {
    Fail(error);
    return nullptr;
  }
  return statement;
}

void JournalConnection::Collect(sqlite3_stmt* statement, int maxRows, size_t maxTextBytes,
                                ArchivePage& page) {
  size_t textBytes = 0;
  for (;;) {
    const int result = sqlite3_step(statement);
    if (result == SQLITE_DONE) return;
    if (result != SQLITE_ROW) {
      page = ArchivePage();
      Fail(page.error);
      return;
    }
    if (static_cast<int>(page.receipts.size()) == maxRows || textBytes >= maxTextBytes) {
      page.next = page.receipts.back().seq;
      return;
    }
    page.receipts.push_back(ReadRow(statement));
    textBytes += page.receipts.back().text.size();
  }
}

std::optional<int64_t> JournalConnection::SeqAtTime(const char* sql, int64_t epochMs,
                                                    std::string& error) {
  const Statement statement(Prepare(sql, error));
  if (!statement) return std::nullopt;
  sqlite3_bind_int64(statement.get(), 1, epochMs);
  const int result = sqlite3_step(statement.get());
  if (result == SQLITE_ROW) return sqlite3_column_int64(statement.get(), 0);
  if (result != SQLITE_DONE) Fail(error);
  return std::nullopt;
}

// from/to become a range of sequence numbers through the time index, so
// that the search walks the receipts by number alone; receipts numbered out
// of time order (the clock set back) are found by their number's place.
bool JournalConnection::RangeOf(const ReceiptQuery& query, Range& range, std::string& error) {
  if (query.before > 0)
    range.highSeq = static_cast<int64_t>(std::min<uint64_t>(query.before, INT64_MAX));
  if (query.from) {
    range.fromMs = LocalMinuteToEpochMs(*query.from);
    const auto first =
        SeqAtTime("SELECT seq FROM receipts WHERE epoch_ms >= ?1 ORDER BY epoch_ms, seq LIMIT 1",
                  range.fromMs, error);
    if (!error.empty()) return false;
    if (first) range.lowSeq = *first;
    range.empty = range.empty || !first;
  }
  if (query.to) {
    range.toMs = EndOfToEpochMs(query);
    const auto last = SeqAtTime(
        "SELECT seq FROM receipts WHERE epoch_ms < ?1 ORDER BY epoch_ms DESC, seq DESC LIMIT 1",
        range.toMs, error);
    if (!error.empty()) return false;
    if (last) range.highSeq = std::min(range.highSeq, *last + 1);
    range.empty = range.empty || !last;
  }
  return true;
}

ArchivePage JournalConnection::Page(const ReceiptQuery& query, int maxRows, size_t maxTextBytes) {
  ArchivePage page;
  Range range;
  if (!RangeOf(query, range, page.error)) return page;
  if (range.empty) return page;
  // The time columns are compared without their index (+): the order is the
  // sequence's, which the rowid gives.
  std::string sql = "SELECT ";
  sql += kColumns;
  if (query.match.empty()) {
    sql += " FROM receipts r WHERE r.seq >= ?2 AND r.seq < ?3";
  } else {
    sql +=
        " FROM receipts_text t JOIN receipts r ON r.seq = t.rowid"
        " WHERE receipts_text MATCH ?1 AND t.rowid >= ?2 AND t.rowid < ?3";
  }
  // Ordered by the index's own rowid, FTS5 walks its matches from the newest
  // and stops at the limit; by r.seq it would sort every match first.
  sql += " AND +r.epoch_ms >= ?4 AND +r.epoch_ms < ?5";
  if (!query.rule.empty()) sql += kHitRule;
  sql += query.match.empty() ? " ORDER BY r.seq DESC LIMIT ?6" : " ORDER BY t.rowid DESC LIMIT ?6";
  const Statement statement(Prepare(sql, page.error));
  if (!statement) return page;
  if (!query.match.empty()) {
    sqlite3_bind_text(statement.get(), 1, query.match.data(), static_cast<int>(query.match.size()),
                      SQLITE_STATIC);
  }
  sqlite3_bind_int64(statement.get(), 2, range.lowSeq);
  sqlite3_bind_int64(statement.get(), 3, range.highSeq);
  sqlite3_bind_int64(statement.get(), 4, range.fromMs);
  sqlite3_bind_int64(statement.get(), 5, range.toMs);
  sqlite3_bind_int64(statement.get(), 6, maxRows + 1);
  if (!query.rule.empty()) {
    sqlite3_bind_text(statement.get(), 7, query.rule.data(), static_cast<int>(query.rule.size()),
                      SQLITE_STATIC);
  }
  Collect(statement.get(), maxRows, maxTextBytes, page);
  return page;
}

ArchivePage JournalConnection::Search(const ReceiptQuery& query) {
  return Page(query, query.limit, SIZE_MAX);
}

ArchivePage JournalConnection::ExportChunk(const ReceiptQuery& query) {
  return Page(query, kChunkRows, kChunkTextBytes);
}

ArchivePage JournalConnection::Find(uint64_t seq) {
  ArchivePage page;
  const Statement statement(
      Prepare(std::string("SELECT ") + kColumns + " FROM receipts r WHERE r.seq = ?1", page.error));
  if (!statement) return page;
  sqlite3_bind_int64(statement.get(), 1, static_cast<int64_t>(std::min<uint64_t>(seq, INT64_MAX)));
  Collect(statement.get(), 1, SIZE_MAX, page);
  return page;
}

ArchivePage JournalConnection::Between(uint64_t after, uint64_t below, int64_t sinceMs, int count) {
  ArchivePage page;
  const Statement statement(
      Prepare(std::string("SELECT ") + kColumns +
                  " FROM receipts r WHERE r.seq > ?1 AND r.seq < ?2 AND +r.epoch_ms >= ?3"
                  " ORDER BY r.seq DESC LIMIT ?4",
              page.error));
  if (!statement) return page;
  sqlite3_bind_int64(statement.get(), 1,
                     static_cast<int64_t>(std::min<uint64_t>(after, INT64_MAX)));
  sqlite3_bind_int64(statement.get(), 2,
                     static_cast<int64_t>(std::min<uint64_t>(below, INT64_MAX)));
  sqlite3_bind_int64(statement.get(), 3, sinceMs);
  sqlite3_bind_int64(statement.get(), 4, count);
  Collect(statement.get(), count, SIZE_MAX, page);
  page.next.reset();
  std::reverse(page.receipts.begin(), page.receipts.end());
  return page;
}

bool JournalConnection::Frame(uint64_t seq, std::string& frame, std::string& error) {
  const Statement statement(
      Prepare("SELECT raw FROM receipts WHERE seq = ?1 AND raw IS NOT NULL", error));
  if (!statement) return false;
  sqlite3_bind_int64(statement.get(), 1, static_cast<int64_t>(std::min<uint64_t>(seq, INT64_MAX)));
  const int result = sqlite3_step(statement.get());
  if (result == SQLITE_DONE) return false;
  if (result != SQLITE_ROW) {
    Fail(error);
    return false;
  }
  const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement.get(), 0));
  frame.assign(bytes ? bytes : "", static_cast<size_t>(sqlite3_column_bytes(statement.get(), 0)));
  return true;
}

}  // namespace tavrik
