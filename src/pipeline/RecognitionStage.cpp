#include "pipeline/RecognitionStage.h"

#include <utility>

#include "log/Log.h"
#include "ocr/RasterPage.h"

namespace tavrik {

RecognitionStage::RecognitionStage(Platform& platform, std::unique_ptr<TextRecognizer> recognizer,
                                   std::function<void(ReceiptText&)> mask, Sink sink)
    : platform_(platform), mask_(std::move(mask)), sink_(std::move(sink)), shared_(std::make_shared<Shared>()), worker_(platform.CreateWorker()) {
  shared_->recognizer = std::move(recognizer);
  // A page takes a core for many milliseconds: the clients' fan-out comes
  // first, and a page the reader cannot keep up with is skipped.
  worker_->LowerPriority(WorkerPriority::kIdle);
}

RecognitionStage::~RecognitionStage() {
  *alive_ = false;
  shared_->ending = true;  // pages still queued are not read: the end does not wait a second for each
}

bool RecognitionStage::NeedsReading(const ReceiptText& text) {
  if (text.facts.rasters.empty()) return false;
  size_t visible = 0;
  for (const char c : text.text) {
    // Counts characters, not bytes: continuation bytes of UTF-8 are skipped.
    if (c != ' ' && c != '\n' && (static_cast<unsigned char>(c) & 0xC0) != 0x80 && ++visible >= kMinTextCharacters) {
      return false;
    }
  }
  return true;
}

void RecognitionStage::Offer(const ReceiptRecord& receipt) {
  const bool needsReading = NeedsReading(*receipt.text);
  if (needsReading && reading_ >= kMaxReading) ++counters_.skipped;
  const bool read = needsReading && reading_ < kMaxReading;
  if (!read && held_.empty()) {
    sink_(receipt);
    return;
  }
  Hold(receipt, read);
  if (held_.size() > kMaxHeld || heldBytes_ > kMaxHeldBytes) PassAll();
}

void RecognitionStage::Hold(const ReceiptRecord& receipt, bool read) {
  auto held = std::make_unique<Held>();
  held->time.assign(receipt.time);
  held->bytes.assign(receipt.bytes);
  held->text = *receipt.text;
  held->record = receipt;
  held->record.time = held->time;
  held->record.bytes = held->bytes;
  held->record.text = &held->text;
  held->size = held->bytes.size() + held->text.text.size() + held->text.facts.data.size();
  heldBytes_ += held->size;
  if (read) Read(*held);
  held_.push_back(std::move(held));
}

void RecognitionStage::Read(Held& held) {
  held.reading = true;
  held.job = ++lastJob_;
  ++reading_;
  struct Result {
    std::string text;
    std::string problem;
  };
  // Laid out on the worker: dot by dot, a logo's page takes the event thread
  // a millisecond or more (bench_ocr), in which the clients would wait.
  auto facts = std::make_shared<ReceiptFacts>(held.text.facts);
  auto result = std::make_shared<Result>();
  worker_->Run(
      [shared = shared_, facts, result] {
        if (!shared->ending) result->text = shared->recognizer->Recognize(RasterPage(*facts), result->problem);
      },
      [this, job = held.job, result] { OnRead(job, std::move(result->text), std::move(result->problem)); });
}

void RecognitionStage::OnRead(uint64_t job, std::string text, std::string problem) {
  --reading_;
  if (!problem.empty() && !problemLogged_) {
    problemLogged_ = true;
    Log(LogLevel::kError, "Text recognition: " + problem + ".");
  }
  for (auto& held : held_) {
    if (held->job != job || !held->reading) continue;
    held->reading = false;
    if (!text.empty()) {
      held->text.text = std::move(text);
      if (held->text.text.back() != '\n') held->text.text += '\n';
      held->text.facts.visibleText = true;
      mask_(held->text);
      held->record.recognized = true;
      ++counters_.read;
    }
    break;
  }
  PassReady();
}

// A listener that runs pending events can meet a page's end here: the pass
// further up the stack takes that receipt on, in its turn.
void RecognitionStage::PassReady() {
  if (passing_ || passPosted_ || held_.empty() || held_.front()->reading) return;
  passing_ = true;
  std::unique_ptr<Held> held = std::move(held_.front());
  held_.pop_front();
  Pass(std::move(held));
  passing_ = false;
  if (held_.empty() || held_.front()->reading) return;
  passPosted_ = true;
  platform_.Loop().Post([this, alive = alive_] {
    if (!*alive) return;
    passPosted_ = false;
    PassReady();
  });
}

void RecognitionStage::Flush() { PassAll(); }

void RecognitionStage::PassAll() {
  const bool nested = std::exchange(passing_, true);
  while (!held_.empty()) {
    std::unique_ptr<Held> held = std::move(held_.front());
    held_.pop_front();
    if (held->reading) ++counters_.skipped;  // its text, when it comes, finds no receipt
    Pass(std::move(held));
  }
  passing_ = nested;
}

void RecognitionStage::Pass(std::unique_ptr<Held> held) {
  heldBytes_ -= held->size;
  sink_(held->record);
}

}  // namespace tavrik
