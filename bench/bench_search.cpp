// Searches of a journal file as the web port makes them, straight on the
// reader's connection (the worker's hop adds no disk time).
//
// The journal is made here with the journal's schema: receipts of about
// 1 KB, 30 s apart, each a shop's header, 20 to 24 item lines drawn from a
// vocabulary of 240 (40 goods in 6 sizes, each with its price), a card or
// cash total, and in about 3 % a REFUND line, in about 2 % a VOID line
// (fixed random seed). Only a few thousand unless asked for more:
//   bench_search --receipts=1000000 [--journal=/path/kept.db] [Google Benchmark flags]
// With --journal an existing file is searched as it is (made there first
// when missing, and kept); without it the file lives in a temporary folder
// and is removed at the end.
//
// Counters: p50_ms, p95_ms per query (one-word, phrase, first page of the
// newest, one word within a day), the time of 100 000 rows as CSV (or all),
// bytes_per_receipt of the file (text and index).
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "journal/Journal.h"
#include "journal/JournalSchema.h"
#include "search/MatchExpression.h"
#include "search/ReceiptQuery.h"
#include "search/sqlite/JournalConnection.h"
#include "web/StoredReceiptFormat.h"

namespace tavrik {
namespace {

namespace fs = std::filesystem;

constexpr const char* kGoods[] = {
    "MILK",      "BREAD",   "BUTTER",   "CHEESE", "APPLES",   "BANANAS",  "COFFEE",    "TEA",
    "SUGAR",     "FLOUR",   "RICE",     "PASTA",  "EGGS",     "YOGURT",   "HAM",       "SALAMI",
    "CHICKEN",   "BEEF",    "PORK",     "FISH",   "TOMATOES", "POTATOES", "ONIONS",    "CARROTS",
    "LETTUCE",   "ORANGES", "LEMONS",   "GRAPES", "WATER",    "JUICE",    "BEER",      "WINE",
    "CHOCOLATE", "CRISPS",  "BISCUITS", "SOAP",   "SHAMPOO",  "TISSUES",  "BATTERIES", "CANDLES"};
constexpr const char* kSizes[] = {"SMALL", "LARGE", "BIO", "FAMILY", "LIGHT", "CLASSIC"};
constexpr int kGoodsCount = static_cast<int>(std::size(kGoods));
constexpr int kSizesCount = static_cast<int>(std::size(kSizes));
constexpr int64_t kStartMs = 1735689600000;  // 2025-01-01 00:00 UTC
constexpr int64_t kStepMs = 30000;

int64_t receiptCount = 5000;
std::string journalPath;
bool removeJournal = true;

std::string Money(int cents) {
  char text[16];
  std::snprintf(text, sizeof text, "%d.%02d", cents / 100, cents % 100);
  return text;
}

std::string ReceiptText(uint64_t seq, std::mt19937& random) {
  char line[96];
  std::string text;
  std::snprintf(line, sizeof line, "CORNER MARKET %04u  TILL %u\nRECEIPT %08llu\n",
                static_cast<unsigned>(random() % 50), static_cast<unsigned>(random() % 8 + 1),
                static_cast<unsigned long long>(seq));
  text += line;
  int total = 0;
  const int items = 20 + static_cast<int>(random() % 5);
  for (int i = 0; i < items; ++i) {
    const int good = static_cast<int>(random() % kGoodsCount);
    const int size = static_cast<int>(random() % kSizesCount);
    const int price = 49 + (good * 37 + size * 91) % 900;
    const int quantity = 1 + static_cast<int>(random() % 3);
    std::snprintf(line, sizeof line, "%-10s %-8s %d x %6s %7s\n", kGoods[good], kSizes[size],
                  quantity, Money(price).c_str(), Money(price * quantity).c_str());
    text += line;
    total += price * quantity;
  }
  if (random() % 100 < 3) text += "REFUND     MILK     SMALL      -0.99\n";
  if (random() % 100 < 2) text += "VOID       LAST ITEM\n";
  if (random() % 3) {
    text.append("CARD SALE VISA ****").append(std::to_string(1000 + random() % 9000));
  } else {
    text.append("CASH");
  }
  text.append("\nTOTAL ").append(Money(total)).append("\nTHANK YOU FOR SHOPPING\n");
  return text;
}

void Check(sqlite3* db, int result) {
  if (result != SQLITE_OK && result != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db));
}

// Indexed as the journal indexes: in transactions of this many receipts.
constexpr int64_t kRowsPerStep = Journal::kIndexRows;

void MakeJournal(const std::string& path, int64_t count) {
  sqlite3* db = nullptr;
  Check(db, sqlite3_open(path.c_str(), &db));
  Check(db, sqlite3_exec(
                db,
                (std::string(kJournalSchema) + "PRAGMA journal_mode=WAL; PRAGMA synchronous=OFF;")
                    .c_str(),
                nullptr, nullptr, nullptr));
  sqlite3_stmt* insert = nullptr;
  Check(db, sqlite3_prepare_v2(
                db,
                "INSERT INTO receipts(seq, time, epoch_ms, utc_offset, cut, text)"
                " VALUES(?1, strftime('%Y-%m-%d %H:%M:%S', ?2 / 1000, 'unixepoch'), ?2, 0, 1, ?3)",
                -1, &insert, nullptr));
  std::mt19937 random(20261208);
  for (int64_t seq = 1; seq <= count; ++seq) {
    if (seq % kRowsPerStep == 1) Check(db, sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr));
    const std::string text = ReceiptText(static_cast<uint64_t>(seq), random);
    sqlite3_bind_int64(insert, 1, seq);
    sqlite3_bind_int64(insert, 2, kStartMs + (seq - 1) * kStepMs);
    sqlite3_bind_text(insert, 3, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    Check(db, sqlite3_step(insert));
    sqlite3_reset(insert);
    if (seq % kRowsPerStep == 0 || seq == count) {
      const std::string index = "INSERT INTO receipts_text(rowid, text) SELECT seq, text FROM receipts WHERE seq > " +
                                std::to_string(seq - (seq - 1) % kRowsPerStep - 1) + "; UPDATE journal_meta SET value = '" +
                                std::to_string(seq) + "' WHERE key = 'indexed_seq'; COMMIT";
      Check(db, sqlite3_exec(db, index.c_str(), nullptr, nullptr, nullptr));
    }
  }
  sqlite3_finalize(insert);
  Check(db, sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr));
  sqlite3_close(db);
}

JournalConnection& Journal() {
  static JournalConnection* connection = [] {
    if (journalPath.empty()) {
      const fs::path folder =
          fs::temp_directory_path() / ("tavrik_bench_search_" + std::to_string(::getpid()));
      fs::create_directories(folder);
      journalPath = (folder / "j.db").string();
    } else {
      removeJournal = false;
    }
    if (!fs::exists(journalPath)) {
      const auto start = std::chrono::steady_clock::now();
      MakeJournal(journalPath, receiptCount);
      std::fprintf(stderr, "made %lld receipts in %.1f s\n", static_cast<long long>(receiptCount),
                   std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return new JournalConnection(journalPath);
  }();
  return *connection;
}

void ReportPercentiles(benchmark::State& state, std::vector<double>& ms) {
  std::sort(ms.begin(), ms.end());
  if (ms.empty()) return;
  state.counters["p50_ms"] = ms[ms.size() / 2];
  state.counters["p95_ms"] = ms[std::min(ms.size() - 1, ms.size() * 95 / 100)];
  state.counters["bytes_per_receipt"] =
      static_cast<double>(fs::file_size(journalPath)) / static_cast<double>(receiptCount);
}

// Each iteration asks for the first page (50, newest first) of the next
// query, within the dates of `range` (a query string's from and to).
void RunQueries(benchmark::State& state, const std::vector<std::string>& texts,
                const char* range = "") {
  JournalConnection& journal = Journal();
  std::vector<double> ms;
  size_t next = 0;
  size_t found = 0;
  for (auto _ : state) {
    ReceiptQuery query = ParseReceiptQuery(range).query;
    query.match = texts.empty() ? "" : TranslateSearchText(texts[next++ % texts.size()]).expression;
    const auto start = std::chrono::steady_clock::now();
    const ArchivePage page = journal.Search(query);
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                     .count());
    if (!page.error.empty()) state.SkipWithError(page.error.c_str());
    found += page.receipts.size();
    benchmark::DoNotOptimize(page);
  }
  state.counters["found_per_query"] = static_cast<double>(found) / static_cast<double>(ms.size());
  ReportPercentiles(state, ms);
}

void BM_OneWordQuery(benchmark::State& state) {
  std::vector<std::string> words = {"refund", "void", "visa", "cash", "candles", "batteries"};
  for (const char* good : kGoods) words.emplace_back(good);
  RunQueries(state, words);
}

void BM_PhraseQuery(benchmark::State& state) {
  std::vector<std::string> phrases = {"\"refund milk\"", "\"card sale\"", "\"void last item\""};
  for (int i = 0; i < kGoodsCount; ++i) {
    std::string phrase = "\"";
    phrase.append(kGoods[i]).append(" ").append(kSizes[i % kSizesCount]).append("\"");
    phrases.push_back(std::move(phrase));
  }
  RunQueries(state, phrases);
}

void BM_FirstPageNewest(benchmark::State& state) {
  RunQueries(state, {});
}

// One day in the middle of a million receipts' eleven months.
void BM_OneWordOfADay(benchmark::State& state) {
  RunQueries(state, {"refund", "void", "visa", "milk", "candles"}, "from=2025-06-01&to=2025-06-01");
}

// 100 000 receipts (or all) as CSV, chunk by chunk as the web port pulls them.
void BM_CsvExport(benchmark::State& state) {
  JournalConnection& journal = Journal();
  const int64_t rows = std::min<int64_t>(100000, receiptCount);
  for (auto _ : state) {
    ReceiptQuery query;
    int64_t written = 0;
    size_t bytes = 0;
    std::string csv;
    while (written < rows) {
      const ArchivePage page = journal.ExportChunk(query);
      if (!page.error.empty() || page.receipts.empty()) break;
      csv.clear();
      for (const StoredReceipt& receipt : page.receipts) {
        AppendCsvRecord(csv, receipt);
        if (++written == rows) break;
      }
      bytes += csv.size();
      if (!page.next) break;
      query.before = *page.next;
    }
    state.counters["rows"] = static_cast<double>(written);
    state.counters["csv_mb"] = static_cast<double>(bytes) / 1e6;
  }
}

}  // namespace
}  // namespace tavrik

BENCHMARK(tavrik::BM_FirstPageNewest)->Unit(benchmark::kMillisecond)->Iterations(200);
BENCHMARK(tavrik::BM_OneWordQuery)->Unit(benchmark::kMillisecond)->Iterations(200);
BENCHMARK(tavrik::BM_PhraseQuery)->Unit(benchmark::kMillisecond)->Iterations(200);
BENCHMARK(tavrik::BM_OneWordOfADay)->Unit(benchmark::kMillisecond)->Iterations(200);
BENCHMARK(tavrik::BM_CsvExport)->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char** argv) {
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--receipts=", 11) == 0) {
      tavrik::receiptCount = std::stoll(argv[i] + 11);
    } else if (std::strncmp(argv[i], "--journal=", 10) == 0) {
      tavrik::journalPath = argv[i] + 10;
    } else {
      rest.push_back(argv[i]);
    }
  }
  int restCount = static_cast<int>(rest.size());
  benchmark::Initialize(&restCount, rest.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (tavrik::removeJournal && !tavrik::journalPath.empty()) {
    std::filesystem::remove_all(std::filesystem::path(tavrik::journalPath).parent_path());
  }
  return 0;
}
