#include "outputs/TcpRecorder.h"

#include "log/Log.h"
#include "outputs/ReceiptFormat.h"
#include "receipt/ReceiptText.h"

namespace tavrik {

TcpRecorder::TcpRecorder(Platform& platform, RecorderConfig config)
    : platform_(platform),
      config_(std::move(config)),
      name_("Recorder tcp " + config_.host + ":" + std::to_string(config_.port)),
      socket_(platform.CreateSocket()),
      pace_(platform.CreateTimer()) {
  socket_->SetEvents(this);
  pace_->SetTickHandler([this] { OnPaceTick(); });
}

TcpRecorder::~TcpRecorder() { socket_->SetEvents(nullptr); }

void TcpRecorder::Start() { Connect(); }

void TcpRecorder::Stop() {
  link_ = Link::kStopped;
  pace_->Stop();
  try {
    socket_->Close();
  } catch (const std::exception&) {
  }
}

void TcpRecorder::Connect() {
  reconnectDue_ = false;
  pace_->Start(kMinAttemptSpacingMs);
  link_ = Link::kConnecting;
  unsentBytes_ = 0;
  try {
    socket_->Close();
    platform_.Loop().RunPending();
    socket_->Connect(config_.host, config_.port);
  } catch (const std::exception& e) {
    Disconnected(e.what());
  }
}

// Waits for the pacing span that the last attempt began, then tries again.
void TcpRecorder::Disconnected(const std::string& reason) {
  if (link_ == Link::kStopped) return;
  outage_.Disconnected(name_, reason);
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

void TcpRecorder::Deliver(const FrameRecord& frame) {
  if (!frame.text) return;
  FormatReceipt(frame.text->text, config_.format, text_);
  if (text_.empty()) return;
  queue_.push_back(MakePayload(text_));
  if (queue_.size() > static_cast<size_t>(config_.queue)) {
    queue_.pop_front();
    ++dropped_;
    outage_.Dropped();
  }
  Flush();
}

void TcpRecorder::Flush() {
  try {
    while (link_ == Link::kConnected && unsentBytes_ < kMaxUnsentBytes && !queue_.empty()) {
      const Payload receipt = std::move(queue_.front());
      queue_.pop_front();
      unsentBytes_ += static_cast<int32_t>(receipt.size());
      ++sent_;
      socket_->Send(receipt);
    }
  } catch (const std::exception& e) {
    Disconnected(e.what());
  }
}

OutputCounters TcpRecorder::Counters() const {
  return {link_ == Link::kConnected, queue_.size(), sent_, dropped_};
}

void TcpRecorder::OnConnected() {
  link_ = Link::kConnected;
  outage_.Connected(name_);
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
  Flush();
}

void TcpRecorder::OnSendComplete() {
  unsentBytes_ = 0;
  Flush();
}

void TcpRecorder::OnClosed() { Disconnected("closed by the recorder"); }

void TcpRecorder::OnError(int number, const std::string& description) {
  Disconnected(description + " (" + std::to_string(number) + ")");
}

}  // namespace tavrik
