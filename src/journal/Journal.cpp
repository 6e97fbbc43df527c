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
  worker_->LowerPriority(WorkerPriority::kBelowNormal);  // the clients first: a batch may take longer
}

Journal::~Journal() { worker_.reset(); }

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
  return {!Failing(), queue_.size() + inFlight_, written_, dropped_, lastSeq_, error_};
}

// Every tick a batch of what is queued; while failing, and for the checks
// of an idle journal, once a second.
void Journal::OnTick() {
  if (busy_) return;
  const bool check = ++ticksSinceCheck_ >= kTicksPerCheck;
  if (!check && (Failing() || (queue_.empty() && !retainMore_))) return;
  if (check) ticksSinceCheck_ = 0;
  HandOver(check);
}

void Journal::HandOver(bool check) {
  auto batch = std::make_shared<Batch>();
  const size_t count = std::min(queue_.size(), kMaxBatch);
  batch->entries.assign(std::make_move_iterator(queue_.begin()),
                        std::make_move_iterator(queue_.begin() + static_cast<std::ptrdiff_t>(count)));
  queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(count));
  batch->check = check || retainMore_;
  batch->oldestKeptMs = platform_.GetClock().UnixTimeMs() - config_.retentionDays * kDayMs;
  inFlight_ = count;
  busy_ = true;
  JournalStore& store = *store_;
  const uint64_t maxBytes = static_cast<uint64_t>(config_.maxMb) << 20;
  worker_->Run([&store, batch, maxBytes] { WriteBatch(store, *batch, maxBytes); },
               [this, batch] { OnBatchDone(batch); });
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

void Journal::WriteBatch(JournalStore& store, Batch& batch, uint64_t maxBytes) {
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
  // A failed step is tried again at the next check; the next write tells of an outage.
  if (batch.check && store.Retain(batch.oldestKeptMs, maxBytes, batch.retainMore)) batch.retainMore = false;
}

void Journal::OnBatchDone(const std::shared_ptr<Batch>& batch) {
  busy_ = false;
  inFlight_ = 0;
  retainMore_ = batch->retainMore;
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
