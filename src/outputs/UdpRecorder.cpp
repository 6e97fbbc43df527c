#include "outputs/UdpRecorder.h"

#include "log/Log.h"
#include "outputs/ReceiptFormat.h"
#include "receipt/ReceiptText.h"

namespace tavrik {

UdpRecorder::UdpRecorder(Platform& platform, RecorderConfig config, std::string name)
    : config_(std::move(config)),
      name_(name.empty() ? "Recorder udp " + config_.host + ":" + std::to_string(config_.port) : std::move(name)),
      socket_(platform.CreateSocket()),
      lookupSpacing_(platform.CreateTimer()) {
  socket_->SetEvents(this);
  lookupSpacing_->SetTickHandler([this] { lookupSpacing_->Stop(); });
}

UdpRecorder::~UdpRecorder() { socket_->SetEvents(nullptr); }

void UdpRecorder::Start() { Open(); }

void UdpRecorder::Stop() {
  lookupSpacing_->Stop();
  try {
    socket_->Close();
  } catch (const std::exception&) {
  }
}

// Opens the socket when it is not open, or starts the lookup of its host;
// false while it is not open.
bool UdpRecorder::Open() {
  const SocketState state = socket_->State();
  if (state == SocketState::kOpen) return true;
  if (state == SocketState::kResolvingHost || lookupSpacing_->IsRunning()) return false;
  try {
    socket_->Close();
    socket_->OpenUdpAsync(config_.host, config_.port);
  } catch (const std::exception& e) {
    Failed(e.what());
    return false;
  }
  if (socket_->State() != SocketState::kOpen) {
    lookingUp_ = true;
    lookupSpacing_->Start(kMinLookupSpacingMs);
    return false;
  }
  Opened();
  return true;
}

void UdpRecorder::Opened() {
  if (failing_) Log(LogLevel::kError, name_ + " open.");
  failing_ = false;
}

void UdpRecorder::Failed(const std::string& reason) {
  if (!failing_) Log(LogLevel::kError, name_ + " cannot open: " + reason);
  failing_ = true;
}

void UdpRecorder::Deliver(const ReceiptRecord& frame) {
  if (!frame.text) return;
  FormatReceipt(frame.text->text, config_.format, text_);
  DeliverText(text_);
}

void UdpRecorder::DeliverText(std::string_view text) {
  if (text.empty()) return;
  if (!Open()) {
    ++dropped_;
    return;
  }
  try {
    for (const std::string_view datagram : SplitDatagrams(text, config_.format.lineEnd, kMaxDatagram)) {
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

void UdpRecorder::OnConnected() {
  lookingUp_ = false;
  Opened();
}

// A failed lookup, or a refused datagram (nobody listening), which closes
// nothing for UDP; either way the next receipt opens the socket again.
void UdpRecorder::OnError(int /*number*/, const std::string& description) {
  if (lookingUp_) Failed(description);
  lookingUp_ = false;
}

}  // namespace tavrik
