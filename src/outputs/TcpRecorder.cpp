#include "outputs/TcpRecorder.h"

#include "log/Log.h"
#include "outputs/ReceiptFormat.h"
#include "receipt/ReceiptText.h"

namespace tavrik {

TcpRecorder::TcpRecorder(Platform& platform, RecorderConfig config, std::string name, std::string what)
    : config_(std::move(config)),
      name_(name.empty() ? "Recorder tcp " + config_.host + ":" + std::to_string(config_.port) : std::move(name)),
      socket_(platform.CreateSocket()),
      pace_(platform.CreateTimer()),
      ackCheck_(platform.CreateTimer()),
      outage_(std::move(what)) {
  socket_->SetEvents(this);
  pace_->SetTickHandler([this] { OnPaceTick(); });
  ackCheck_->SetTickHandler([this] { OnAckTick(); });
}

TcpRecorder::~TcpRecorder() { socket_->SetEvents(nullptr); }

void TcpRecorder::Start() { Connect(); }

void TcpRecorder::Stop() {
  if (link_ == Link::kConnected) CountAcknowledged();
  link_ = Link::kStopped;
  pace_->Stop();
  ackCheck_->Stop();
  try {
    socket_->Close();
  } catch (const std::exception&) {
  }
}

// Runs no pending events: Connect is called from within Deliver, and a
// handler run here could deliver the same frames again.
void TcpRecorder::Connect() {
  reconnectDue_ = false;
  pace_->Start(kMinAttemptSpacingMs);
  link_ = Link::kConnecting;
  proven_ = false;
  idleTicks_ = 0;
  handedBytes_ = 0;
  unsentBytes_ = 0;
  try {
    socket_->Close();
    socket_->Connect(config_.host, config_.port);
  } catch (const std::exception& e) {
    Disconnected(e.what());
  }
}

// Waits for the pacing span that the last attempt began, then tries again.
void TcpRecorder::Disconnected(const std::string& reason) {
  if (link_ == Link::kStopped) return;
  const SocketState state = socket_->State();
  if (state == SocketState::kConnected || state == SocketState::kClosing) CountAcknowledged();
  ackCheck_->Stop();
  // A connection that never proved itself is one more failed attempt of the outage.
  outage_.Disconnected(name_, reason);
  TakeBackUnacknowledged();
  link_ = Link::kWaiting;
  if (pace_->IsRunning()) {
    reconnectDue_ = true;
  } else {
    Connect();
  }
}

void TcpRecorder::OnPaceTick() {
  pace_->Stop();
  if (reconnectDue_) Connect();
}

void TcpRecorder::OnAckTick() {
  CountAcknowledged();
  if (!proven_ && unacknowledged_.empty() && ++idleTicks_ * kAckCheckMs >= kProvenAfterMs) Proven();
  if (proven_ && unacknowledged_.empty()) ackCheck_->Stop();
}

void TcpRecorder::Deliver(const ReceiptRecord& frame) {
  if (!frame.text) return;
  FormatReceipt(frame.text->text, config_.format, text_);
  DeliverText(text_);
}

void TcpRecorder::DeliverText(std::string_view text) {
  if (text.empty()) return;
  queue_.push_back(MakePayload(std::string(text)));
  if (queue_.size() > static_cast<size_t>(config_.queue)) {
    queue_.pop_front();
    ++dropped_;
    outage_.Dropped();
  }
  Flush();
}

void TcpRecorder::Flush() {
  try {
    while (link_ == Link::kConnected && unsentBytes_ < kMaxUnsentBytes && !queue_.empty() &&
           unacknowledged_.size() < kMaxUnacknowledged) {
      const Payload receipt = std::move(queue_.front());
      queue_.pop_front();
      unsentBytes_ += static_cast<int32_t>(receipt.size());
      handedBytes_ += static_cast<int64_t>(receipt.size());
      unacknowledged_.push_back({receipt, handedBytes_});  // first: a failing Send takes it back
      if (!ackCheck_->IsRunning()) ackCheck_->Start(kAckCheckMs);
      socket_->Send(receipt);
    }
  } catch (const std::exception& e) {
    Disconnected(e.what());
  }
}

void TcpRecorder::CountAcknowledged() {
  if (unacknowledged_.empty()) return;
  const int64_t acknowledged = handedBytes_ - socket_->UnacknowledgedBytes();
  bool counted = false;
  while (!unacknowledged_.empty() && unacknowledged_.front().end <= acknowledged) {
    unacknowledged_.pop_front();
    ++sent_;
    counted = true;
  }
  if (counted && !proven_) Proven();
}

void TcpRecorder::Proven() {
  proven_ = true;
  outage_.Connected(name_);
}

// In the order they were sent, ahead of those still queued; the queue bound
// then drops the oldest.
void TcpRecorder::TakeBackUnacknowledged() {
  for (auto it = unacknowledged_.rbegin(); it != unacknowledged_.rend(); ++it) queue_.push_front(std::move(it->receipt));
  unacknowledged_.clear();
  while (queue_.size() > static_cast<size_t>(config_.queue)) {
    queue_.pop_front();
    ++dropped_;
    outage_.Dropped();
  }
}

OutputCounters TcpRecorder::Counters() const {
  return {link_ == Link::kConnected && proven_, queue_.size() + unacknowledged_.size(), sent_, dropped_};
}

void TcpRecorder::OnConnected() {
  link_ = Link::kConnected;
  ackCheck_->Start(kAckCheckMs);
  Flush();
}

void TcpRecorder::OnData() {
  try {
    socket_->Read(unread_);  // a recorder has nothing to say; keep its bytes from piling up
  } catch (const std::exception&) {
  }
}

void TcpRecorder::OnSendProgress(int32_t /*bytesSent*/, int32_t bytesRemaining) {
  unsentBytes_ = bytesRemaining;
  CountAcknowledged();
  Flush();
}

void TcpRecorder::OnSendComplete() {
  unsentBytes_ = 0;
  CountAcknowledged();
  Flush();
}

void TcpRecorder::OnClosed() { Disconnected("closed by the recorder"); }

void TcpRecorder::OnError(int number, const std::string& description) {
  Disconnected(description + " (" + std::to_string(number) + ")");
}

}  // namespace tavrik
