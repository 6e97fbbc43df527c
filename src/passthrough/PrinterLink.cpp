#include "passthrough/PrinterLink.h"

#include <exception>

#include "log/Log.h"
#include "platform/PlatformError.h"

namespace tavrik {

PrinterLink::PrinterLink(Platform& platform, std::string host, int32_t port, std::function<void()> onEnd)
    : host_(std::move(host)),
      port_(port),
      onEnd_(std::move(onEnd)),
      printer_(platform.CreateSocket()),
      timer_(platform.CreateTimer()),
      monitor_([this](const std::string& line) {
        Log(LogLevel::kError, line);
        if (statusListener_) statusListener_(monitor_.Status().Describe());
      }) {
  printer_->SetEvents(this);
  timer_->SetTickHandler([this] { OnTimer(); });
}

PrinterLink::~PrinterLink() {
  printer_->SetEvents(nullptr);
  timer_->Stop();
}

std::string PrinterLink::Address() const { return host_ + ":" + std::to_string(port_); }

bool PrinterLink::Open(Socket& pos) {
  Close();
  pos_ = &pos;
  state_ = State::kConnecting;
  timer_->Start(kConnectTimeoutMs);
  try {
    printer_->Connect(host_, port_);
  } catch (const std::exception& e) {
    const FailureInfo failure = DescribeFailure(e);
    Log(LogLevel::kError, "Printer " + Address() + " unreachable: " + std::to_string(failure.number) +
                              " - " + failure.description);
    Close();
    return false;
  }
  return true;
}

void PrinterLink::FromPos(std::string_view chunk) {
  monitor_.OnPosBytes(chunk);
  switch (state_) {
    case State::kConnecting:
      held_ += chunk;
      toPrinter_ += chunk.size();
      break;
    case State::kForwarding:
      SendToPrinter(chunk);
      break;
    default:
      return;  // the printer is gone or half-closed: the bytes only reach the frames
  }
  if (toPrinter_ >= kMaxWaiting && !posPaused_) {
    posPaused_ = true;
    pos_->PauseReading();
  }
}

void PrinterLink::SendToPrinter(std::string_view bytes) {
  if (bytes.empty()) return;
  // The POS may wait on each byte's answer: no waiting for the loop's turn.
  printer_->SendAtOnce(pool_.Copy(bytes));
  toPrinter_ += bytes.size();
}

void PrinterLink::OnPosSendProgress(int32_t remaining) {
  toPos_ = static_cast<size_t>(remaining);
  if (printerPaused_ && toPos_ <= kResumeWaiting) {
    printerPaused_ = false;
    printer_->ResumeReading();
  }
}

void PrinterLink::OnPosSendComplete() {
  OnPosSendProgress(0);
  if (state_ == State::kEnding) End();
}

bool PrinterLink::OnPosClosed() {
  switch (state_) {
    case State::kIdle:
      return false;
    case State::kConnecting:
      posClosed_ = true;  // drained once connected; the connect timeout bounds the wait
      return true;
    case State::kForwarding:
      StartDraining();
      return true;
    case State::kDraining:
    case State::kEnding:
      return true;
  }
  return false;
}

void PrinterLink::StartDraining() {
  state_ = State::kDraining;
  printer_->ShutdownSend();  // after the bytes still queued for it
  timer_->Start(kLingerMs);
}

void PrinterLink::Close() {
  printer_->Close();
  pos_ = nullptr;
  timer_->Stop();
  monitor_.ForgetPending();
  state_ = State::kIdle;
  posClosed_ = false;
  held_.clear();
  toPrinter_ = 0;
  toPos_ = 0;
  posPaused_ = false;
  printerPaused_ = false;
}

void PrinterLink::End() {
  Close();
  if (onEnd_) onEnd_();
}

void PrinterLink::OnConnected() {
  try {
    timer_->Stop();
    state_ = State::kForwarding;
    toPrinter_ -= held_.size();
    SendToPrinter(held_);
    held_.clear();
    if (posClosed_) StartDraining();
  } catch (const std::exception& e) {
    Fail(DescribeFailure(e).description);
  }
}

void PrinterLink::OnData() {
  try {
    PassRepliesToPos();
  } catch (const std::exception& e) {
    Fail(DescribeFailure(e).description);
  }
}

void PrinterLink::PassRepliesToPos() {
  printer_->Read(chunk_);
  if (chunk_.empty()) return;
  monitor_.OnPrinterBytes(chunk_);
  const SocketState pos = pos_ ? pos_->State() : SocketState::kClosed;
  if (pos != SocketState::kConnected && pos != SocketState::kClosing) return;
  pos_->Send(pool_.Copy(chunk_));
  toPos_ += chunk_.size();
  if (toPos_ >= kMaxWaiting && !printerPaused_) {
    printerPaused_ = true;
    printer_->PauseReading();
  }
}

void PrinterLink::OnSendProgress(int32_t /*bytesSent*/, int32_t bytesRemaining) {
  toPrinter_ = static_cast<size_t>(bytesRemaining);
  if (posPaused_ && toPrinter_ <= kResumeWaiting) {
    posPaused_ = false;
    pos_->ResumeReading();
  }
}

void PrinterLink::OnSendComplete() { OnSendProgress(0, 0); }

void PrinterLink::OnClosed() {
  try {
    PassRepliesToPos();
    if (state_ == State::kForwarding)
      Log(LogLevel::kError, "Printer " + Address() + " closed the connection during a job.");
    PrinterGone();
  } catch (const std::exception& e) {
    Fail(DescribeFailure(e).description);
  }
}

void PrinterLink::OnError(int number, const std::string& description) {
  const std::string error = std::to_string(number) + " - " + description;
  if (state_ == State::kConnecting) {
    Log(LogLevel::kError, "Printer " + Address() + " unreachable: " + error);
    End();
    return;
  }
  try {
    PassRepliesToPos();
    if (state_ == State::kForwarding) Log(LogLevel::kError, "Printer " + Address() + " error: " + error);
    PrinterGone();
  } catch (const std::exception& e) {
    Fail(DescribeFailure(e).description);
  }
}

// What the printer sent last still reaches the POS before its connection ends.
void PrinterLink::PrinterGone() {
  printer_->Close();
  state_ = State::kEnding;
  if (posPaused_) {  // the POS may finish its job; the rest only reaches the frames
    posPaused_ = false;
    pos_->ResumeReading();
  }
  if (toPos_ == 0) return End();
  if (!timer_->IsRunning()) timer_->Start(kLingerMs);
}

void PrinterLink::Fail(const std::string& error) {
  Log(LogLevel::kError, "Printer " + Address() + " error: " + error);
  End();
}

void PrinterLink::OnTimer() {
  timer_->Stop();
  if (state_ == State::kConnecting) {
    Log(LogLevel::kError, "Printer " + Address() + " unreachable: connection timed out");
  }
  End();
}

}  // namespace tavrik
