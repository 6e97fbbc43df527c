#include "sources/NetworkSource.h"

#include "log/Log.h"
#include "log/LogFailure.h"

namespace tavrik {

NetworkSource::NetworkSource(Platform& platform, SourceHost& host, FrameAssembler& frames,
                             NetworkSourceSettings settings)
    : platform_(platform),
      host_(host),
      frames_(frames),
      settings_(std::move(settings)),
      socket_(platform.CreateSocket()),
      pace_(platform.CreateTimer()) {
  socket_->SetEvents(this);
  pace_->SetTickHandler([this] { OnPaceTick(); });
  if (!settings_.printerHost.empty()) {
    link_ = std::make_unique<PrinterLink>(platform, settings_.printerHost, settings_.printerPort, *socket_,
                                          [this] { OnPrinterLinkEnded(); });
  }
}

NetworkSource::~NetworkSource() { socket_->SetEvents(nullptr); }

void NetworkSource::Restart() {
  if (link_) link_->Close();
  responder_ = tap::StatusResponder();
  unsentReplies_ = 0;
  socket_->Close();
  platform_.Loop().RunPending();
  // Each set-up starts the pacing span in which a further one waits.
  reconnectDue_ = false;
  pace_->Start(kMinAttemptSpacingMs);
  host_.WatchSetUp(kSetUpWatchdogMs);
  if (settings_.protocol == NetworkProtocol::kUdp) {
    StartUdp();
  } else {
    StartTcp();
  }
}

void NetworkSource::Stop() {
  if (link_) link_->Close();
  socket_->Close();
  reconnectDue_ = false;
  pace_->Stop();
}

void NetworkSource::StartTcp() {
  try {
    if (settings_.listen) {
      socket_->Listen(settings_.port);
      host_.OnSourceReady();
    } else {
      socket_->Connect(settings_.peerHost, settings_.port);
    }
  } catch (const std::exception& e) {
    // The set-up watchdog stays armed and restarts the source in 3 s.
    LogFailure("Error at ReconnectTCP: ", e);
  }
}

void NetworkSource::StartUdp() {
  try {
    if (settings_.listen) {
      socket_->Bind(settings_.port);
    } else {
      socket_->OpenUdp(settings_.peerHost, settings_.port);
    }
    host_.OnSourceReady();
  } catch (const std::exception& e) {
    LogFailure("Error at ReconnectUDP: ", e);
  }
}

// The source is set up again at once, unless the last attempt is less than
// kMinAttemptSpacingMs old: then when that time is up.
void NetworkSource::Reconnect() {
  if (pace_->IsRunning()) {
    reconnectDue_ = true;
    return;
  }
  host_.RestartSource(false);
}

void NetworkSource::OnPaceTick() {
  pace_->Stop();
  if (!reconnectDue_) return;
  reconnectDue_ = false;
  host_.RestartSource(false);
}

template <typename Work>
void NetworkSource::Guarded(Work work) {
  try {
    work();
  } catch (const std::exception& e) {
    LogFailure("SrcSock error: ", e);
    Reconnect();
  }
}

void NetworkSource::OnConnected() {
  Guarded([&] { host_.OnSourceReady(); });
}

void NetworkSource::OnConnectionRequest(int32_t requestId) {
  Guarded([&] {
    Log(LogLevel::kError, "SrcSock connection request.");
    // Closing the listener and accepting on it serves one peer at a time.
    socket_->Close();
    platform_.Loop().RunPending();
    socket_->Accept(requestId);
    if (link_ && !link_->Open()) OnPrinterLinkEnded();
  });
}

void NetworkSource::OnData() {
  Guarded([&] { TakeData(); });
}

void NetworkSource::TakeData() {
  socket_->Read(chunk_);
  if (chunk_.empty()) return;
  if (link_ && link_->IsOpen()) link_->FromPos(chunk_);
  AnswerQueries();
  if (!host_.IsSourceReady()) return;
  const double now = platform_.GetClock().SecondsSinceMidnight();
  frames_.StampStart(now);
  frames_.CountChunk(now);
  LogLazy(LogLevel::kData, [&] { return "DataArrival '" + chunk_ + "'"; });
  frames_.Append(chunk_);
  host_.RestartFrameTimer(settings_.frameTimeoutMs);
  // A frame that reaches the limit exactly is sent (the serial source waits
  // for one byte more).
  if (frames_.Length() >= FrameAssembler::kMaxLength) {
    Log(LogLevel::kError, "FrameBuffer exceeds maximum frame size.");
    frames_.SendFrame();
  }
}

void NetworkSource::AnswerQueries() {
  if (!settings_.answerStatus || settings_.protocol != NetworkProtocol::kTcp) return;
  responder_.Scan(chunk_, replies_);
  if (replies_.empty()) return;
  if (unsentReplies_ < kMaxUnsentReplies) {
    socket_->Send(MakePayload(replies_));
    unsentReplies_ += static_cast<int64_t>(replies_.size());
  }
  replies_.clear();
}

void NetworkSource::OnSendProgress(int32_t /*bytesSent*/, int32_t bytesRemaining) {
  Guarded([&] {
    if (link_) link_->OnPosSendProgress(bytesRemaining);
    unsentReplies_ = bytesRemaining;
  });
}

void NetworkSource::OnSendComplete() {
  Guarded([&] {
    if (link_) link_->OnPosSendComplete();
    unsentReplies_ = 0;
  });
}

// A POS sends one job per connection: its end is the end of the receipt,
// which must not wait for the next job (the set-up stops the frame timer).
void NetworkSource::SendFrameInProgress() { frames_.SendFrame(); }

void NetworkSource::OnClosed() {
  Guarded([&] {
    // With a printer, the peer still gets the printer's last replies.
    const bool lingering = link_ && link_->OnPosClosed();
    if (!lingering) {
      socket_->Close();
      platform_.Loop().RunPending();
    }
    Log(LogLevel::kError, "SrcSock closed.");
    SendFrameInProgress();
    if (!lingering) Reconnect();
  });
}

void NetworkSource::OnPrinterLinkEnded() {
  Guarded([&] {
    socket_->Close();
    platform_.Loop().RunPending();
    SendFrameInProgress();
    Reconnect();
  });
}

void NetworkSource::OnError(int number, const std::string& description) {
  Guarded([&] {
    if (link_) link_->Close();
    socket_->Close();
    platform_.Loop().RunPending();
    LogLazy(LogLevel::kError, [&] { return "SrcSock error: " + std::to_string(number) + " - " + description; });
    SendFrameInProgress();
    Reconnect();
  });
}

}  // namespace tavrik
