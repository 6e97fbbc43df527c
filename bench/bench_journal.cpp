// The receipt journal's sustained writes: receipts of about 1 KB, each of
// other words (as tills print other items), fed at 5 000 a simulated second
// and written by the worker into a real SQLite file in a temporary folder.
// items_per_second is receipts committed per second of real time: at or
// above 2 000 the queue does not grow at that rate; bytes_per_receipt is the
// file's size (text, index and all) over the receipts written;
// most_unindexed is the text index's largest lag (one interval's receipts:
// it keeps up); allocations_per_receipt counts the C++ allocations (SQLite's
// own malloc calls are not among them) once the journal is warm.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>

#include "AllocationCounter.h"
#include "journal/Journal.h"
#include "journal/JournalSetUp.h"
#include "platform/fake/FakePlatform.h"
#include "receipt/ReceiptText.h"

namespace tavrik {
namespace {

constexpr int kPerTick = 1000;  // receipts per batch interval: 5 000 a second

std::string Words(std::mt19937& random) {
  std::string text = "CORNER BAKERY\n";
  while (text.size() < 1000) {
    text += "ITEM";
    text += std::to_string(random() % 20000);
    text += random() % 6 ? "  " : "  4.20\n";
  }
  return text;
}

void BM_JournalSustainedWrites(benchmark::State& state) {
  namespace fs = std::filesystem;
  const fs::path folder = fs::temp_directory_path() / ("tavrik_bench_journal_" + std::to_string(::getpid()));
  fs::create_directories(folder);
  JournalConfig config;
  config.path = (folder / "j.db").string();
  FakePlatform platform;
  std::mt19937 random(11);
  std::vector<std::string> texts;
  for (int i = 0; i < 4096; ++i) texts.push_back(Words(random));
  uint64_t written = 0;
  size_t mostQueued = 0;
  uint64_t mostUnindexed = 0;
  {
    Journal journal(platform, config, CreateJournalStore(config));
    if (journal.Open()) {
      state.SkipWithError("cannot open the journal");
      return;
    }
    journal.Start();
    ReceiptText text;
    ReceiptRecord record;
    record.time = "2026-12-07 12:00:00";
    record.text = &text;
    uint64_t seq = 0;
    long allocationsBefore = 0;
    for (auto _ : state) {
      if (seq == 10 * kPerTick) allocationsBefore = bench::allocations.load();
      for (int i = 0; i < kPerTick; ++i) {
        text.text = texts[seq % texts.size()];
        record.sequence = ++seq;
        record.epochMs = platform.GetClock().UnixTimeMs();  // of now: retention keeps them
        journal.OnReceipt(record);
      }
      mostQueued = std::max(mostQueued, static_cast<size_t>(journal.Counters().queued));
      mostUnindexed = std::max(mostUnindexed, journal.Counters().unindexed);
      platform.Advance(Journal::kBatchIntervalMs);  // the fake worker writes the batch here
    }
    written = journal.Counters().written;
    state.counters["allocations_per_receipt"] =
        static_cast<double>(bench::allocations.load() - allocationsBefore) / static_cast<double>(seq - 10 * kPerTick);
    state.SetItemsProcessed(static_cast<int64_t>(written));
    state.counters["dropped"] = static_cast<double>(journal.Counters().dropped);
  }
  uintmax_t bytes = 0;
  for (const auto& file : fs::directory_iterator(folder)) bytes += file.file_size();  // indexed at the end
  state.counters["bytes_per_receipt"] = written ? static_cast<double>(bytes) / static_cast<double>(written) : 0;
  state.counters["most_queued"] = static_cast<double>(mostQueued);
  state.counters["most_unindexed"] = static_cast<double>(mostUnindexed);
  fs::remove_all(folder);
}
BENCHMARK(BM_JournalSustainedWrites)->Iterations(100)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tavrik

BENCHMARK_MAIN();
