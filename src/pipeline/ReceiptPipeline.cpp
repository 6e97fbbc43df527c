#include "pipeline/ReceiptPipeline.h"

#include <utility>

#include "receipt/CardNumbers.h"

namespace tavrik {

void ReceiptPipeline::AddListener(ReceiptListener& listener) {
  listeners_.push_back(&listener);
  if (delay_) return;
  delay_ = platform_.CreateTimer();
  delay_->SetTickHandler([this] {
    delay_->Stop();
    Deliver();
  });
}

// The listeners get a frame a moment after the clients: their work, and the
// wake-ups of the viewers, recorders and brokers they send to, then leave
// the CPU to the clients' readers first where they share a machine. A burst
// of frames in that moment goes at once.
void ReceiptPipeline::OnFrame(const FrameRecord& frame) {
  if (listeners_.empty()) return;
  if (pendingCount_ == pending_.size()) pending_.emplace_back();
  PendingFrame& pending = pending_[pendingCount_++];
  const Clock& clock = platform_.GetClock();
  pending.bytes.assign(frame.bytes);
  pending.time = clock.LocalDateTimeText();
  lastFrameTime_ = pending.time;
  pending.epochMs = clock.UnixTimeMs();
  pending.utcOffsetMinutes = clock.UtcOffsetMinutes();
  pending.cut = frame.cut;
  pending.newStream = std::exchange(streamRestarted_, false);
  if (pendingCount_ >= kMaxDelayedFrames) {
    delay_->Stop();
    PostDelivery();
  } else if (pendingCount_ == 1) {
    delay_->Start(kDelayMs);
  }
}

void ReceiptPipeline::EnableTextRecognition(std::unique_ptr<TextRecognizer> recognizer) {
  recognition_ = std::make_unique<RecognitionStage>(
      platform_, std::move(recognizer),
      [this](ReceiptText& text) {
        if (maskCardNumbers_) MaskCardNumbers(text);
      },
      [this](const ReceiptRecord& receipt) { PassOn(receipt); });
}

void ReceiptPipeline::Flush() {
  if (delay_) delay_->Stop();
  Deliver();
  if (recognition_) recognition_->Flush();
}

void ReceiptPipeline::PostDelivery() {
  if (deliveryPosted_) return;
  deliveryPosted_ = true;
  platform_.Loop().Post([this] {
    deliveryPosted_ = false;
    Deliver();
  });
}

// Frames that arrive while a listener runs pending events join the loop. A
// delivery asked for meanwhile (a shutdown, the delay's tick) is this one:
// run inside it, it would hand the frames over again.
void ReceiptPipeline::Deliver() {
  if (delivering_) return;
  delivering_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{delivering_};
  for (size_t i = 0; i < pendingCount_; ++i) {
    const PendingFrame& pending = pending_[i];
    // A command left half-sent by the old source must not swallow new bytes.
    if (pending.newStream) decoder_.Reset();
    decoder_.Decode(pending.bytes, text_);
    if (!IsReceipt(text_)) continue;
    if (maskCardNumbers_) MaskCardNumbers(text_);
    ReceiptRecord receipt;
    receipt.sequence = ++sequence_;
    receipt.time = pending.time;
    receipt.epochMs = pending.epochMs;
    receipt.utcOffsetMinutes = pending.utcOffsetMinutes;
    receipt.bytes = pending.bytes;
    receipt.cut = pending.cut;
    receipt.text = &text_;
    if (recognition_) {
      recognition_->Offer(receipt);
    } else {
      PassOn(receipt);
    }
  }
  pendingCount_ = 0;
}

// The matcher sees the text as the listeners do, read from images or not,
// and the picture too: its events may carry it.
void ReceiptPipeline::PassOn(const ReceiptRecord& receipt) {
  ReceiptRecord named = receipt;
  if (painter_) named.png = painter_->Paint(named);
  if (matcher_) named.rules = matcher_->Match(named);
  for (ReceiptListener* listener : listeners_) listener->OnReceipt(named);
}

bool ReceiptPipeline::IsReceipt(const ReceiptText& text) {
  const ReceiptFacts& facts = text.facts;
  return facts.visibleText || !facts.drawerPulses.empty() || !facts.codes.empty() || !facts.rasters.empty();
}

}  // namespace tavrik
