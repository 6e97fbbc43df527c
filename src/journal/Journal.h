#pragma once
// The receipt journal's writing side: every receipt goes into a bounded
// queue; every kBatchIntervalMs at most one batch goes to the worker thread,
// which commits it in one transaction, so a receipt is durable within a
// second of its cut. The event thread never waits on the disk.
//
// An outage (disk full, read-only, the file removed, replaced or corrupt)
// stops nothing but the journal: the failed batch goes back to the queue's
// front, one line is logged, and every kRetryMs the file is opened again
// (created when missing) and the queue written; one line when that works.
// Receipts the full queue cannot take are counted as dropped; when that
// happens with the file writable (the disk too slow for the flow), one line
// is logged, and one when the queue has drained.
//
// The worker runs at idle priority. The full-text index follows the writes
// in jobs of their own between the batches: adding a receipt's words to it
// costs many times what writing the receipt does, so the receipts are kept
// first, and the index catches up whenever the CPU has time; the counters
// tell how far behind it is. An outage of its own (the writes work) is
// logged once, and its end. The index jobs also run retention, which
// removes receipts older than retention_days or beyond max_mb a few hundred
// at a time.
//
// Event thread only; the store is used only on the worker's thread (and by
// Open, before the loop runs).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "journal/JournalConfig.h"
#include "journal/JournalCounters.h"
#include "journal/JournalEntry.h"
#include "journal/JournalStore.h"
#include "pipeline/ReceiptListener.h"
#include "platform/Platform.h"

namespace tavrik {

class Journal final : public ReceiptListener {
 public:
  static constexpr int kBatchIntervalMs = 200;
  static constexpr int kRetryMs = 1000;  // also how often the file's place is checked
  static constexpr size_t kMaxBatch = 2000;
  static constexpr size_t kMaxQueued = 10000;  // receipts: a couple of seconds to write at the end
  static constexpr size_t kMaxQueuedBytes = 32u << 20;  // of their copies
  // Written entries kept for the next receipts, so that a steady flow
  // allocates nothing per receipt; larger ones are given back.
  static constexpr size_t kMaxSpare = kMaxBatch;
  static constexpr size_t kMaxSpareBytes = 16u << 10;
  // Receipts per index transaction, one transaction per job: a batch waits
  // behind one job, some 50 ms of work. Fewer, larger transactions leave the
  // index fewer segments to merge.
  static constexpr size_t kIndexRows = 1000;
  static constexpr size_t kIndexRowsAtEnd = 10000;  // about a second's work

  Journal(Platform& platform, JournalConfig config, std::unique_ptr<JournalStore> store);
  // The worker ends here: what was handed over is written first, then
  // indexed (up to kIndexRowsAtEnd).
  ~Journal() override;
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  // Before the loop runs: opens the file, creating it when missing, and
  // reads the last sequence number. Why it cannot, or std::nullopt.
  std::optional<std::string> Open();
  // The last sequence number written before this start; 0 for a new journal.
  uint64_t LastSequenceAtStart() const { return lastSeqAtStart_; }
  // Starts the batches.
  void Start();
  void OnReceipt(const ReceiptRecord& receipt) override;
  // Hands every queued receipt to the worker, whose end writes them.
  void Stop();

  JournalCounters Counters() const;
  const JournalConfig& Config() const { return config_; }
  const std::string& Path() const { return config_.path; }

 private:
  // What a job did, read by its completion.
  struct Batch {
    std::vector<JournalEntry> entries;
    bool check = false;  // look at the file's place
    JournalStore::Failure failure;
  };
  // What an index job did, read by its completion.
  struct IndexJob {
    bool check = false;  // look at the file's place, and retain
    int64_t oldestKeptMs = 0;
    JournalStore::Failure failure;
    uint64_t indexedThrough = 0;
    uint64_t writtenThrough = 0;  // the newest receipt written when the job began
    bool caughtUp = false;        // every receipt in the file is indexed
    bool more = false;            // receipts wait for the index
    bool retainMore = false;  // retention has more to remove
  };

  void OnTick();
  void HandOver(bool check);
  bool Failing() const { return !error_.empty(); }
  void OnBatchDone(const std::shared_ptr<Batch>& batch);
  // On the worker: the job of one batch.
  static void WriteBatch(JournalStore& store, Batch& batch);
  void StartIndexing(bool check);
  void OnIndexDone(const IndexJob& job);
  // On the worker: the job of a few index steps, and retention.
  static void RunIndexJob(JournalStore& store, IndexJob& job, uint64_t maxBytes);
  void HandOverRest();
  void Recycle(JournalEntry&& entry);
  void CountDropped();

  Platform& platform_;
  const JournalConfig config_;
  std::unique_ptr<JournalStore> store_;
  std::unique_ptr<Timer> tick_;
  std::vector<JournalEntry> queue_;  // oldest first
  std::vector<JournalEntry> spare_;
  size_t queuedBytes_ = 0;  // of queue_ and the batch in flight
  size_t inFlight_ = 0;     // receipts of the batch in flight
  bool busy_ = false;       // a batch is with the worker
  bool stopped_ = false;
  bool indexing_ = false;     // an index job is with the worker
  bool indexMore_ = false;    // the last job left receipts or retention undone
  uint64_t indexedSeq_ = 0;   // the newest receipt in the index
  std::string indexError_;    // empty while indexing works
  int indexFailures_ = 0;  // in a row
  bool indexOutageLogged_ = false;
  int ticksSinceCheck_ = 0;
  int indexTicksSinceCheck_ = 0;
  uint64_t lastSeqAtStart_ = 0;
  uint64_t lastSeq_ = 0;
  uint64_t written_ = 0;
  uint64_t dropped_ = 0;
  uint64_t droppedInOutage_ = 0;
  bool overflowing_ = false;  // dropping while writable, until the queue drains
  uint64_t droppedInOverflow_ = 0;
  std::string error_;  // empty while writing
  std::unique_ptr<BackgroundWorker> worker_;  // last: ends first, while the store exists
};

}  // namespace tavrik
