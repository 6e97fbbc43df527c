// The SQLite store on a real file in a temporary folder.
#include "journal/sqlite/SqliteJournalStore.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <random>

namespace tavrik {
namespace {

class SqliteJournalStoreTest : public ::testing::Test {
 protected:
  static JournalEntry Entry(uint64_t seq, std::string text, std::string facts = "", std::string raw = "",
                            std::string rules = "") {
    return {seq, "2026-12-07 12:00:00", kEpochMs + static_cast<int64_t>(seq) * 1000, 60, true,
            std::move(text), std::move(facts), std::move(rules), std::move(raw)};
  }
  // The first column of the first row of sql, as text ("" for NULL or none).
  std::string Query(const std::string& sql) const {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path_.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* statement = nullptr;
    std::string value;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW && sqlite3_column_text(statement, 0)) {
      value = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return value;
  }
  int64_t Number(const std::string& sql) const {
    const std::string value = Query(sql);
    return value.empty() ? 0 : std::stoll(value);
  }
  // A kilobyte of words, different for every receipt, as a till's are.
  static std::string Words(std::mt19937& random) {
    std::string text;
    while (text.size() < 1000) {
      text += 'w';
      text += std::to_string(random() % 50000);
      text += random() % 8 ? ' ' : '\n';
    }
    return text;
  }

  static constexpr int64_t kEpochMs = 1796644800000;
  const std::filesystem::path folder_ =
      std::filesystem::temp_directory_path() / ("tavrik_journal_" + std::to_string(::getpid())) /
      ::testing::UnitTest::GetInstance()->current_test_info()->name();
  const std::string path_ = (folder_ / "j.db").string();
  void SetUp() override { std::filesystem::create_directories(folder_); }
  void TearDown() override { std::filesystem::remove_all(folder_.parent_path()); }
};

TEST_F(SqliteJournalStoreTest, WritesWhatReadsBackAndKeepsTheLastNumberWhenRetentionRemovesIt) {
  {
    SqliteJournalStore store(path_);
    ASSERT_EQ(store.Open(), std::nullopt);
    EXPECT_EQ(store.LastSequence(), 0u);
    const std::vector<JournalEntry> batch{Entry(1, "SALE 1\n"), Entry(2, "REFUND 2\n", "", "", R"(["refund"])"),
                                          Entry(3, "SALE 3\n", R"({"drawer":[]})", std::string("\x1bi\0", 3))};
    ASSERT_EQ(store.Write(batch), std::nullopt);
    EXPECT_EQ(Query("SELECT count(*) FROM receipts_text WHERE receipts_text MATCH 'refund'"), "0");  // not yet
    uint64_t indexed = 0;
    bool more = true;
    ASSERT_EQ(store.Index(100, indexed, more), std::nullopt);
    EXPECT_EQ(indexed, 3u);
    EXPECT_FALSE(more);
  }
  EXPECT_EQ(Query("PRAGMA journal_mode"), "wal");
  EXPECT_EQ(Query("PRAGMA auto_vacuum"), "2");  // incremental
  EXPECT_EQ(Query("SELECT group_concat(rowid) FROM receipts_text WHERE receipts_text MATCH 'refund'"), "2");
  EXPECT_EQ(Query("SELECT time || '|' || epoch_ms || '|' || utc_offset || '|' || cut || '|' || text || '|' || "
                  "facts || '|' || hex(raw) FROM receipts WHERE seq = 3"),
            "2026-12-07 12:00:00|1796644803000|60|1|SALE 3\n|{\"drawer\":[]}|1B6900");
  EXPECT_EQ(Number("SELECT count(*) FROM receipts WHERE facts IS NULL AND raw IS NULL"), 2);
  EXPECT_EQ(Query("SELECT group_concat(seq || rules) FROM receipts WHERE rules IS NOT NULL"), R"(2["refund"])");

  SqliteJournalStore store(path_);
  ASSERT_EQ(store.Open(), std::nullopt);
  EXPECT_EQ(store.LastSequence(), 3u);
  bool more = true;
  ASSERT_EQ(store.Retain(kEpochMs + 10000, 1u << 30, more), std::nullopt);  // all are older
  EXPECT_FALSE(more);
  EXPECT_EQ(Number("SELECT count(*) FROM receipts"), 0);
  EXPECT_EQ(Query("SELECT count(*) FROM receipts_text WHERE receipts_text MATCH 'refund'"), "0");
  EXPECT_EQ(store.LastSequence(), 3u);
  EXPECT_NE(store.Write(std::vector<JournalEntry>{Entry(4, "a"), Entry(4, "again")}), std::nullopt);
  EXPECT_EQ(Number("SELECT count(*) FROM receipts"), 0);  // all of the batch or nothing
}

TEST_F(SqliteJournalStoreTest, RetentionGoesOldestFirstInSmallStepsByAgeAndBySize) {
  SqliteJournalStore store(path_);
  ASSERT_EQ(store.Open(), std::nullopt);
  std::mt19937 random(7);
  std::vector<JournalEntry> batch;
  for (uint64_t seq = 1; seq <= 3000; ++seq) batch.push_back(Entry(seq, Words(random)));
  ASSERT_EQ(store.Write(batch), std::nullopt);
  uint64_t indexed = 0;
  for (bool more = true; more;) ASSERT_EQ(store.Index(1000, indexed, more), std::nullopt);
  const auto usedBytes = [&] {
    return (Number("PRAGMA page_count") - Number("PRAGMA freelist_count")) * Number("PRAGMA page_size");
  };
  ASSERT_GT(usedBytes(), 3'000'000);

  bool more = true;
  int steps = 0;
  for (int64_t before = 3000; more; ++steps) {
    ASSERT_EQ(store.Retain(kEpochMs + 1000 * 501, 2'000'000, more), std::nullopt);
    const int64_t left = Number("SELECT count(*) FROM receipts");
    EXPECT_LE(before - left, SqliteJournalStore::kRetentionRows);
    before = left;
  }
  EXPECT_GT(steps, 2);
  EXPECT_LE(usedBytes(), 2'000'000);
  EXPECT_LE(Number("PRAGMA page_count") * Number("PRAGMA page_size"), 2'100'000);  // pages given back
  // The text index frees removed receipts' pages as its segments merge, so
  // a little more than the excess goes (here 2 MB hold ~950 receipts).
  EXPECT_GE(Number("SELECT count(*) FROM receipts"), 450);
  EXPECT_EQ(Number("SELECT max(seq) FROM receipts"), 3000);
  EXPECT_GT(Number("SELECT min(seq) FROM receipts"), 501);  // by size, beyond the age's limit

  for (more = true; more;) ASSERT_EQ(store.Retain(kEpochMs + 1000 * 2900, 1u << 30, more), std::nullopt);
  EXPECT_EQ(Number("SELECT min(seq) FROM receipts"), 2900);
  EXPECT_EQ(store.LastSequence(), 3000u);
}

TEST_F(SqliteJournalStoreTest, TheIndexFollowsOnItsOwnConnectionAndTakesOverAFileIndexedByTriggers) {
  {  // a journal whose index triggers kept
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "CREATE TABLE journal_meta (key TEXT PRIMARY KEY, value TEXT NOT NULL) WITHOUT ROWID;"
                           "INSERT INTO journal_meta VALUES ('schema', '1'), ('last_seq', '2');"
                           "CREATE TABLE receipts (seq INTEGER PRIMARY KEY, time TEXT NOT NULL, epoch_ms INTEGER "
                           "NOT NULL, utc_offset INTEGER NOT NULL, cut INTEGER NOT NULL, text TEXT NOT NULL, facts "
                           "TEXT, rules TEXT, raw BLOB);"
                           "CREATE VIRTUAL TABLE receipts_text USING fts5(text, content = 'receipts', content_rowid "
                           "= 'seq', tokenize = 'unicode61 remove_diacritics 2');"
                           "CREATE TRIGGER receipts_indexed AFTER INSERT ON receipts BEGIN INSERT INTO "
                           "receipts_text(rowid, text) VALUES (new.seq, new.text); END;"
                           "INSERT INTO receipts VALUES (1, 't', 1796644801000, 60, 1, 'OLD SALE', NULL, NULL, NULL),"
                           " (2, 't', 1796644802000, 60, 1, 'OLD REFUND', NULL, NULL, NULL);",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
  }
  SqliteJournalStore writer(path_);
  SqliteJournalStore indexer(path_);
  ASSERT_EQ(writer.Open(), std::nullopt);
  ASSERT_EQ(indexer.Open(), std::nullopt);
  EXPECT_EQ(Query("SELECT count(*) FROM sqlite_master WHERE type = 'trigger'"), "0");
  EXPECT_EQ(Query("SELECT value FROM journal_meta WHERE key = 'indexed_seq'"), "2");
  const auto write = [&](uint64_t first, uint64_t last) {
    std::vector<JournalEntry> batch;
    for (uint64_t seq = first; seq <= last; ++seq) batch.push_back(Entry(seq, "SALE item" + std::to_string(seq)));
    ASSERT_EQ(writer.Write(batch), std::nullopt);
  };
  write(3, 252);
  std::vector<std::pair<uint64_t, bool>> steps;
  uint64_t indexed = 0;
  for (bool more = true; more;) {
    ASSERT_EQ(indexer.Index(100, indexed, more), std::nullopt);
    steps.emplace_back(indexed, more);
  }
  EXPECT_EQ(steps, (std::vector<std::pair<uint64_t, bool>>{{102, true}, {202, true}, {252, false}}));
  write(253, 262);
  // indexed with the old rows; 253 to 262 are not yet
  EXPECT_EQ(Query("SELECT group_concat(rowid) FROM receipts_text WHERE receipts_text MATCH 'refund OR item252'"),
            "2,252");
  EXPECT_EQ(Query("SELECT count(*) FROM receipts_text WHERE receipts_text MATCH 'item253'"), "0");

  // Retention across the indexed and the unindexed: the index must forget
  // exactly what it holds of them, as its check against the table shows.
  bool more = true;
  ASSERT_EQ(indexer.Retain(kEpochMs + 256 * 1000, 1u << 30, more), std::nullopt);
  EXPECT_EQ(Number("SELECT min(seq) FROM receipts"), 256);
  ASSERT_EQ(indexer.Index(100, indexed, more), std::nullopt);
  EXPECT_EQ(indexed, 262u);
  EXPECT_FALSE(more);
  EXPECT_EQ(Query("SELECT group_concat(rowid) FROM receipts_text WHERE receipts_text MATCH 'item252 OR item260'"),
            "260");
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, "INSERT INTO receipts_text(receipts_text, rank) VALUES ('integrity-check', 1)", nullptr,
                         nullptr, nullptr),
            SQLITE_OK)
      << sqlite3_errmsg(db);
  sqlite3_close(db);
}

TEST_F(SqliteJournalStoreTest, ARemovedFileIsNoticedAndOpeningCreatesItAgain) {
  SqliteJournalStore store(path_);
  ASSERT_EQ(store.Open(), std::nullopt);
  ASSERT_EQ(store.Write(std::vector<JournalEntry>{Entry(1, "a")}), std::nullopt);
  EXPECT_TRUE(store.StillAtPath());
  std::filesystem::remove(path_);
  EXPECT_FALSE(store.StillAtPath());
  ASSERT_EQ(store.Open(), std::nullopt);
  EXPECT_TRUE(store.StillAtPath());
  EXPECT_EQ(store.LastSequence(), 0u);
}

}  // namespace
}  // namespace tavrik
