#pragma once
// The journal's SQLite schema: one table of receipts, its full-text index
// (FTS5 over the receipts' text), and the journal's own facts. Creating it
// is idempotent; auto_vacuum must come before the first table so that
// retention can give pages back to the file system.
//
// The journal adds to the index in steps of their own, after the writes of
// the receipts (they are cheap, the index is not): journal_meta's
// "indexed_seq" says how far it got. A file whose index was kept by triggers loses them
// here; it was indexed up to its newest receipt.
#include <string_view>

namespace tavrik {

inline constexpr int kJournalSchemaVersion = 1;

inline constexpr std::string_view kJournalSchema = R"sql(
PRAGMA auto_vacuum = INCREMENTAL;
CREATE TABLE IF NOT EXISTS journal_meta (
  key   TEXT PRIMARY KEY,
  value TEXT NOT NULL
) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS receipts (
  seq        INTEGER PRIMARY KEY,
  time       TEXT    NOT NULL,
  epoch_ms   INTEGER NOT NULL,
  utc_offset INTEGER NOT NULL,
  cut        INTEGER NOT NULL,
  text       TEXT    NOT NULL,
  facts      TEXT,
  rules      TEXT,
  raw        BLOB
);
CREATE INDEX IF NOT EXISTS receipts_by_time ON receipts(epoch_ms);
CREATE VIRTUAL TABLE IF NOT EXISTS receipts_text USING fts5(
  text, content = 'receipts', content_rowid = 'seq',
  tokenize = 'unicode61 remove_diacritics 2');
-- Its segments merged once 8 of a level are there, not 4: a fifth less work
-- per receipt indexed, and searches as fast (bench_search).
INSERT INTO receipts_text(receipts_text, rank) VALUES ('automerge', 8);
DROP TRIGGER IF EXISTS receipts_indexed;
DROP TRIGGER IF EXISTS receipts_unindexed;
INSERT OR IGNORE INTO journal_meta(key, value) VALUES ('indexed_seq', (SELECT IFNULL(MAX(seq), 0) FROM receipts));
)sql";

// journal_meta keys: "schema" (kJournalSchemaVersion), "last_seq" (the
// highest sequence number ever written, kept when retention removes it),
// "indexed_seq" (receipts up to it are in receipts_text; the newer ones
// follow within moments, or after a burst once the CPU is free).
//
// receipts, per row:
//   seq         the receipt's sequence number (also the row id)
//   time        local time, "YYYY-MM-DD HH:MM:SS"
//   epoch_ms    Unix time in milliseconds
//   utc_offset  minutes east of UTC at that time
//   cut         1 when the frame holds a paper cut
//   text        the receipt's text, card numbers masked
//   facts       JSON object with "drawer", "codes", "images" as the web
//               port's receipts carry them (images: sizes only); NULL: none
//   rules       JSON array of the names of the rules it matched; NULL: none
//   raw         the frame's bytes, only when the journal stores them

}  // namespace tavrik
