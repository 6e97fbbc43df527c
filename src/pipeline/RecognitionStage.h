#pragma once
// Text for receipts printed as images: a receipt with images and next to no
// text has its images read (see TextRecognizer) on a worker thread, and
// gets what was read as its text, marked as read. Receipts leave in
// sequence order: one whose images are being read holds back the receipts
// after it, which wait as copies.
//
// Bounded: at most kMaxReading pages are read or wait for the reader; a
// receipt that needs reading beyond that passes on as it is (counted as
// skipped). At most kMaxHeld receipts or kMaxHeldBytes wait: beyond that,
// every waiting receipt passes on at once, those still being read without
// their text (counted as skipped too). Once a page is read, the receipts
// that waited for it pass on one per turn of the event loop, so that a
// frame arriving meanwhile goes to the clients between them, not behind all
// of them. Event thread only.
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "ocr/TextRecognizer.h"
#include "pipeline/ReceiptRecord.h"
#include "platform/Platform.h"
#include "receipt/ReceiptText.h"

namespace tavrik {

struct RecognitionCounters {
  uint64_t read = 0;     // receipts whose text came from their images
  uint64_t skipped = 0;  // receipts that needed reading and passed on without it
};

class RecognitionStage {
 public:
  static constexpr size_t kMaxReading = 4;
  static constexpr size_t kMaxHeld = 256;
  static constexpr size_t kMaxHeldBytes = 64u << 20;
  // A receipt with images is read when its text has fewer visible
  // characters than this.
  static constexpr size_t kMinTextCharacters = 8;

  using Sink = std::function<void(const ReceiptRecord& receipt)>;

  // mask: applied to the text read, as to every receipt's text.
  RecognitionStage(Platform& platform, std::unique_ptr<TextRecognizer> recognizer,
                   std::function<void(ReceiptText&)> mask, Sink sink);
  ~RecognitionStage();
  RecognitionStage(const RecognitionStage&) = delete;
  RecognitionStage& operator=(const RecognitionStage&) = delete;

  // Passes receipt on now, or holds a copy until the ones before it, or its
  // own images, are read.
  void Offer(const ReceiptRecord& receipt);
  // Passes every waiting receipt on now (a shutdown).
  void Flush();
  RecognitionCounters Counters() const { return counters_; }
  static bool NeedsReading(const ReceiptText& text);

 private:
  struct Held {
    ReceiptRecord record;  // its views point into the strings below
    std::string time;
    std::string bytes;
    ReceiptText text;
    bool reading = false;  // its page is with the reader
    uint64_t job = 0;
    size_t size = 0;  // bytes counted against kMaxHeldBytes
  };
  // Shared with the jobs, which outlive nothing but may finish after a flush.
  struct Shared {
    std::unique_ptr<TextRecognizer> recognizer;
    std::atomic<bool> ending{false};
  };

  void Hold(const ReceiptRecord& receipt, bool read);
  void Read(Held& held);
  void OnRead(uint64_t job, std::string text, std::string problem);
  void PassReady();
  void PassAll();
  void Pass(std::unique_ptr<Held> held);

  Platform& platform_;
  std::function<void(ReceiptText&)> mask_;
  Sink sink_;
  std::shared_ptr<Shared> shared_;
  std::deque<std::unique_ptr<Held>> held_;
  size_t heldBytes_ = 0;
  size_t reading_ = 0;
  uint64_t lastJob_ = 0;
  bool problemLogged_ = false;
  bool passing_ = false;  // receipts are being passed on, further up the stack
  bool passPosted_ = false;  // the next ready receipt goes at the loop's next turn
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);  // for that turn
  RecognitionCounters counters_;
  std::unique_ptr<BackgroundWorker> worker_;  // last: its end waits for the jobs, which use shared_
};

}  // namespace tavrik
