#include "journal/Journal.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "log/Log.h"

namespace tavrik {
namespace {

constexpr int kTicksPerCheck = Journal::kRetryMs / Journal::kBatchIntervalMs;
constexpr int64_t kDayMs = 24 * 60 * 60 * 1000;

}  // namespace

Journal::Journal(Platform& platform, JournalConfig config, std::unique_ptr<JournalStore> store)
    : platform_(platform),
      config_(std::move(config)),
      store_(std::move(store)),
      tick_(platform.CreateTimer()),
      worker_(platform.CreateWorker()) {
  tick_->SetTickHandler([this] { OnTick(); });
  // Only the time the CPU has free: a nice thread still delays the clients'
  // fan-out, and the queue takes up what the worker cannot write at once.
  worker_->LowerPriority(WorkerPriority::kIdle);
}

// After the last writes the index catches up, as far as a short wait allows;
// the next start does the rest.
Journal::~Journal() {
  JournalStore& store = *store_;
  worker_->Run(
      [&store] {
        uint64_t indexed = 0;
        bool more = store.IsOpen();
        for (size_t rows = 0; more && rows < kIndexRowsAtEnd; rows += kIndexRows) {
          if (store.Index(kIndexRows, indexed, more)) return;
        }
      },
      [] {});
  worker_.reset();
}

std::optional<std::string> Journal::Open() {
  if (std::optional<std::string> failure = store_->Open()) return failure;
  lastSeqAtStart_ = lastSeq_ = store_->LastSequence();
  return std::nullopt;
}

void Journal::Start() {
  Log(LogLevel::kError,
      "Journal: " + config_.path + ", receipts numbered from " + std::to_string(lastSeqAtStart_ + 1) + ".");
  tick_->Start(kBatchIntervalMs);
}

void Journal::OnReceipt(const ReceiptRecord& receipt) {
  if (queue_.size() + inFlight_ < kMaxQueued) {
    if (spare_.empty()) {
      queue_.emplace_back();
    } else {
      queue_.push_back(std::move(spare_.back()));
      spare_.pop_back();
    }
    JournalEntry& entry = queue_.back();
    FillJournalEntry(entry, receipt, config_.storeRaw);
    if (queuedBytes_ + entry.Bytes() <= kMaxQueuedBytes) {
      queuedBytes_ += entry.Bytes();
      if (stopped_) HandOverRest();
      return;
    }
    Recycle(std::move(entry));
    queue_.pop_back();
  }
  CountDropped();
}

void Journal::CountDropped() {
  ++dropped_;
  ++droppedInOutage_;
  if (!overflowing_ && !Failing()) {
    overflowing_ = true;
    droppedInOverflow_ = 0;
    Log(LogLevel::kError, "Journal: " + config_.path + " cannot keep up: receipts are dropped while its queue is full.");
  }
  if (overflowing_) ++droppedInOverflow_;
}

void Journal::Recycle(JournalEntry&& entry) {
  if (spare_.size() < kMaxSpare && entry.Bytes() <= kMaxSpareBytes) spare_.push_back(std::move(entry));
}

void Journal::Stop() {
  if (stopped_) return;
  stopped_ = true;
  tick_->Stop();
  HandOverRest();
}

JournalCounters Journal::Counters() const {
  return {!Failing(),
          queue_.size() + inFlight_,
          written_,
          dropped_,
          lastSeq_,
          lastSeq_ > indexedSeq_ ? lastSeq_ - indexedSeq_ : 0,
          error_};
}

// Every tick a batch of what is queued, and an index step when the index is
// behind; while failing, and for the checks of an idle journal, once a second.
void Journal::OnTick() {
  if (!indexing_ && !stopped_) {
    const bool check = ++indexTicksSinceCheck_ >= kTicksPerCheck;
    if (check) indexTicksSinceCheck_ = 0;
    const bool behind = indexMore_ || indexedSeq_ < lastSeq_;
    if (check || (behind && indexError_.empty())) StartIndexing(check);
  }
  if (busy_) return;
  const bool check = ++ticksSinceCheck_ >= kTicksPerCheck;
  if (!check && (Failing() || queue_.empty())) return;
  if (check) ticksSinceCheck_ = 0;
  HandOver(check);
}

void Journal::HandOver(bool check) {
  auto batch = std::make_shared<Batch>();
  const size_t count = std::min(queue_.size(), kMaxBatch);
  batch->entries.assign(std::make_move_iterator(queue_.begin()),
                        std::make_move_iterator(queue_.begin() + static_cast<std::ptrdiff_t>(count)));
  queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(count));
  batch->check = check;
  inFlight_ = count;
  busy_ = true;
  JournalStore& store = *store_;
  worker_->Run([&store, batch] { WriteBatch(store, *batch); }, [this, batch] { OnBatchDone(batch); });
}

void Journal::StartIndexing(bool check) {
  auto job = std::make_shared<IndexJob>();
  job->check = check || indexMore_;
  job->oldestKeptMs = platform_.GetClock().UnixTimeMs() - config_.retentionDays * kDayMs;
  job->indexedThrough = indexedSeq_;
  job->writtenThrough = lastSeq_;
  indexing_ = true;
  JournalStore& store = *store_;
  const uint64_t maxBytes = static_cast<uint64_t>(config_.maxMb) << 20;
  worker_->Run([&store, job, maxBytes] { RunIndexJob(store, *job, maxBytes); }, [this, job] { OnIndexDone(*job); });
}

void Journal::RunIndexJob(JournalStore& store, IndexJob& job, uint64_t maxBytes) {
  if (!store.IsOpen()) return;  // the writes' outage: they open it again
  job.failure = store.Index(kIndexRows, job.indexedThrough, job.more);
  job.caughtUp = !job.failure && !job.more;
  // A failed step is tried again at the next check; the next write tells of an outage.
  if (!job.failure && job.check && store.Retain(job.oldestKeptMs, maxBytes, job.retainMore)) job.retainMore = false;
}

void Journal::OnIndexDone(const IndexJob& job) {
  indexing_ = false;
  // Caught up, the index holds all there is: a file made anew holds none of
  // the receipts written before it.
  indexedSeq_ = job.caughtUp ? std::max(job.indexedThrough, job.writtenThrough) : job.indexedThrough;
  indexMore_ = !job.failure && (job.more || job.retainMore);
  if (job.failure) {
    // An outage of the file is told by the writes, which fail too within a
    // second; the index's own, once it has failed twice while they work.
    indexError_ = *job.failure;
    if (++indexFailures_ == 2 && !Failing()) {
      indexOutageLogged_ = true;
      Log(LogLevel::kError, "Journal: cannot index " + config_.path + ": " + indexError_ + ".");
    }
    return;
  }
  if (indexOutageLogged_) Log(LogLevel::kError, "Journal: indexing " + config_.path + " again.");
  indexOutageLogged_ = false;
  indexFailures_ = 0;
  indexError_.clear();
  if (indexMore_ && !stopped_) StartIndexing(false);  // behind: no wait for the tick
}

// At the end nothing is retried: the worker writes the rest once.
void Journal::HandOverRest() {
  auto entries = std::make_shared<std::vector<JournalEntry>>(std::make_move_iterator(queue_.begin()),
                                                             std::make_move_iterator(queue_.end()));
  queue_.clear();
  for (const JournalEntry& entry : *entries) queuedBytes_ -= entry.Bytes();
  if (entries->empty()) return;
  JournalStore& store = *store_;
  worker_->Run(
      [&store, entries] {
        if (!store.IsOpen() && store.Open()) return;
        store.Write(*entries);
      },
      [] {});
}

void Journal::WriteBatch(JournalStore& store, Batch& batch) {
  // SQLite goes on writing into a file that was removed, without an error.
  const auto removed = [&] {
    store.Close();
    batch.failure = "the file was removed";
  };
  if (store.IsOpen() && batch.check && !store.StillAtPath()) return removed();
  if (!store.IsOpen()) {
    batch.failure = store.Open();
    if (batch.failure) return;
  }
  if (!batch.entries.empty()) {
    batch.failure = store.Write(batch.entries);
    if (batch.failure) return store.Close();  // opened afresh at the retry: mends what it can
    if (!store.StillAtPath()) return removed();
  }
}

void Journal::OnBatchDone(const std::shared_ptr<Batch>& batch) {
  busy_ = false;
  inFlight_ = 0;
  std::vector<JournalEntry>& entries = batch->entries;
  if (batch->failure) {
    // Kept in order for the retry, or, once stopped, for the last hand-over.
    queue_.insert(queue_.begin(), std::make_move_iterator(entries.begin()), std::make_move_iterator(entries.end()));
    if (!Failing()) {
      Log(LogLevel::kError, "Journal: cannot write " + config_.path + ": " + *batch->failure + ".");
      droppedInOutage_ = 0;
    }
    error_ = *batch->failure;
    ticksSinceCheck_ = 0;
    if (stopped_) HandOverRest();
    return;
  }
  for (JournalEntry& entry : entries) {
    queuedBytes_ -= entry.Bytes();
    lastSeq_ = std::max(lastSeq_, entry.sequence);
    Recycle(std::move(entry));
  }
  written_ += entries.size();
  if (Failing()) {
    std::string line = "Journal: writing " + config_.path + " again";
    if (droppedInOutage_ > 0) line += "; " + std::to_string(droppedInOutage_) + " receipts dropped meanwhile";
    Log(LogLevel::kError, line + ".");
    error_.clear();
  }
  if (overflowing_ && queue_.empty()) {
    overflowing_ = false;
    Log(LogLevel::kError,
        "Journal: " + config_.path + " caught up; " + std::to_string(droppedInOverflow_) + " receipts dropped.");
  }
  if (queue_.size() >= kMaxBatch && !stopped_) HandOver(false);  // a burst: no wait for the tick
}

}  // namespace tavrik
