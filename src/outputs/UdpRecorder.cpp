#include "outputs/UdpRecorder.h"

#include "log/Log.h"
#include "outputs/ReceiptFormat.h"
#include "receipt/ReceiptText.h"

namespace tavrik {

UdpRecorder::UdpRecorder(Platform& platform, RecorderConfig config)
    : config_(std::move(config)),
      name_("Recorder udp " + config_.host + ":" + std::to_string(config_.port)),
      socket_(platform.CreateSocket()) {
  socket_->SetEvents(this);
}

UdpRecorder::~UdpRecorder() { socket_->SetEvents(nullptr); }

void UdpRecorder::Start() { Open(); }

void UdpRecorder::Stop() {
  try {
    socket_->Close();
  } catch (const std::exception&) {
  }
}

// Opens the socket when it is not open; false when that fails.
bool UdpRecorder::Open() {
  if (socket_->State() == SocketState::kOpen) return true;
  try {
    socket_->Close();
    socket_->OpenUdp(config_.host, config_.port);
    if (failing_) Log(LogLevel::kError, name_ + " open.");
    failing_ = false;
    return true;
  } catch (const std::exception& e) {
    if (!failing_) Log(LogLevel::kError, name_ + " cannot open: " + e.what());
    failing_ = true;
    return false;
  }
}

void UdpRecorder::Deliver(const ReceiptRecord& frame) {
  if (!frame.text) return;
  FormatReceipt(frame.text->text, config_.format, text_);
  if (text_.empty()) return;
  if (!Open()) {
    ++dropped_;
    return;
  }
  try {
    for (const std::string_view datagram : SplitDatagrams(text_, config_.format.lineEnd, kMaxDatagram)) {
      socket_->Send(MakePayload(std::string(datagram)));
    }
    ++sent_;
  } catch (const std::exception&) {
    ++dropped_;
  }
}

OutputCounters UdpRecorder::Counters() const { return {socket_->State() == SocketState::kOpen, 0, sent_, dropped_}; }

void UdpRecorder::OnData() {
  try {
    socket_->Read(unread_);
  } catch (const std::exception&) {
  }
}

// A refused datagram (nobody listening) closes nothing for UDP; the next
// receipt opens the socket again.
void UdpRecorder::OnError(int /*number*/, const std::string& /*description*/) {}

}  // namespace tavrik
