#pragma once
// The one path of a finished frame past the clients: the assembler hands it
// over right after its part was broadcast; a moment later (kDelayMs) it is
// decoded once, and, when it holds visible text or a fact, numbered once and
// handed to every receipt listener in the order they were added. A frame of
// nothing but commands' remains, blanks or feeds is no receipt: it still
// carries the decoder's state into the next frame. Card numbers in the text
// and codes are masked before any listener sees them (see CardNumbers.h),
// unless masking is switched off; the raw bytes are the printer's, unmasked.
//
// Owned by the relay; event thread only.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "frames/FrameListener.h"
#include "pipeline/ReceiptListener.h"
#include "pipeline/ReceiptMatcher.h"
#include "pipeline/ReceiptPainter.h"
#include "pipeline/RecognitionStage.h"
#include "platform/Platform.h"
#include "receipt/ReceiptDecoder.h"

namespace tavrik {

class ReceiptPipeline final : public FrameListener {
 public:
  // The listeners get each frame this much after the clients, or at once
  // when this many frames wait.
  static constexpr int32_t kDelayMs = 2;
  static constexpr size_t kMaxDelayedFrames = 64;

  explicit ReceiptPipeline(Platform& platform) : platform_(platform) {}

  void AddListener(ReceiptListener& listener);
  // Sees each receipt before the listeners (while there are any).
  void SetMatcher(ReceiptMatcher& matcher) { matcher_ = &matcher; }
  // Draws each receipt's picture before the matcher.
  void SetPainter(ReceiptPainter& painter) { painter_ = &painter; }
  // On from the start.
  void SetCardNumberMasking(bool on) { maskCardNumbers_ = on; }
  // Receipts printed as images get the text read from them (see
  // RecognitionStage); off until called.
  void EnableTextRecognition(std::unique_ptr<TextRecognizer> recognizer);
  bool RecognizesText() const { return recognition_ != nullptr; }
  RecognitionCounters RecognitionCounts() const {
    return recognition_ ? recognition_->Counters() : RecognitionCounters{};
  }
  // The next receipt is numbered last + 1: numbers go on from a journal's.
  void ContinueSequenceAfter(uint64_t last) { sequence_ = last; }
  bool HasListeners() const { return !listeners_.empty(); }
  // A finished frame, just broadcast: stamped now, delivered later.
  void OnFrame(const FrameRecord& frame) override;
  // The source starts over: the next frame is decoded from power-on state,
  // the frames still waiting in the old stream's.
  void StartNewStream() { streamRestarted_ = true; }
  // Delivers the waiting frames now, as a shutdown needs.
  void Flush();
  // Local "YYYY-MM-DD HH:MM:SS" of the last frame handed over, receipt or
  // not, at once; empty before the first.
  const std::string& LastFrameTime() const { return lastFrameTime_; }

 private:
  // A frame waiting for the delay; kept and reused, so that a warmed-up
  // pipeline allocates nothing for it.
  struct PendingFrame {
    std::string bytes;
    std::string time;
    int64_t epochMs = 0;
    int32_t utcOffsetMinutes = 0;
    bool cut = false;
    bool newStream = false;  // the first frame since the source was set up again
  };

  void Deliver();
  void PassOn(const ReceiptRecord& receipt);
  void PostDelivery();
  static bool IsReceipt(const ReceiptText& text);

  Platform& platform_;
  std::vector<ReceiptListener*> listeners_;
  ReceiptMatcher* matcher_ = nullptr;
  ReceiptPainter* painter_ = nullptr;
  std::deque<PendingFrame> pending_;  // a deque: elements stay put while more are added
  size_t pendingCount_ = 0;
  std::unique_ptr<Timer> delay_;  // with the first listener
  bool deliveryPosted_ = false;
  bool delivering_ = false;  // Deliver runs, further up the stack
  bool streamRestarted_ = false;
  bool maskCardNumbers_ = true;
  ReceiptDecoder decoder_;
  ReceiptText text_;  // reused from frame to frame
  uint64_t sequence_ = 0;
  std::string lastFrameTime_;
  std::unique_ptr<RecognitionStage> recognition_;
};

}  // namespace tavrik
