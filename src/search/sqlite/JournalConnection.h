#pragma once
// A read-only SQLite connection to the journal file, opened at first use, and
// again after a failure or once the path names another file (the writer
// made the journal anew after it was removed), so that a journal created or
// mended later is found.
// Each call answers at once from the disk: run it off the event thread (see
// JournalReader). One thread at a time; never throws but for lack of memory.
#include <cstdint>
#include <optional>
#include <string>

#include "search/ReceiptArchive.h"

struct sqlite3;
struct sqlite3_stmt;

namespace tavrik {

class JournalConnection {
 public:
  // Text of the receipts an export chunk gathers before it ends: with its
  // quotes doubled, a chunk of CSV stays within 64 KiB unless one receipt
  // alone is larger.
  static constexpr size_t kChunkTextBytes = 24576;
  static constexpr int kChunkRows = 500;

  explicit JournalConnection(std::string path);
  ~JournalConnection();
  JournalConnection(const JournalConnection&) = delete;
  JournalConnection& operator=(const JournalConnection&) = delete;

  ArchivePage Search(const ReceiptQuery& query);
  ArchivePage Find(uint64_t seq);
  ArchivePage Between(uint64_t after, uint64_t below, int64_t sinceMs, int count);
  // The frame stored with receipt seq into frame; false when the receipt is
  // unknown or kept without its bytes, or (error set) on a failure.
  bool Frame(uint64_t seq, std::string& frame, std::string& error);
  // The next export chunk of query, below query.before (0: from the newest).
  ArchivePage ExportChunk(const ReceiptQuery& query);

 private:
  struct Range {  // of sequence numbers and times a search covers
    int64_t lowSeq = 0;
    int64_t highSeq = INT64_MAX;  // exclusive
    int64_t fromMs = INT64_MIN;
    int64_t toMs = INT64_MAX;  // exclusive
    bool empty = false;
  };

  bool Open(std::string& error);
  void Fail(std::string& error);
  bool RangeOf(const ReceiptQuery& query, Range& range, std::string& error);
  std::optional<int64_t> SeqAtTime(const char* sql, int64_t epochMs, std::string& error);
  ArchivePage Page(const ReceiptQuery& query, int maxRows, size_t maxTextBytes);
  sqlite3_stmt* Prepare(const std::string& sql, std::string& error);
  // Steps statement for up to maxRows rows or maxTextBytes of text; `next`
  // set when another row follows.
  void Collect(sqlite3_stmt* statement, int maxRows, size_t maxTextBytes, ArchivePage& page);

  std::string path_;
  sqlite3* db_ = nullptr;
  uint64_t device_ = 0;  // of the file opened
  uint64_t inode_ = 0;
};

}  // namespace tavrik
