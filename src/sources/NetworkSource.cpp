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
      pace_(platform.CreateTimer()),
      waiting_(platform) {
  socket_->SetEvents(this);
  pace_->SetTickHandler([this] { OnPaceTick(); });
  if (!settings_.printerHost.empty()) {
    link_ = std::make_unique<PrinterLink>(platform, settings_.printerHost, settings_.printerPort,
                                          [this] { OnPrinterLinkEnded(); });
  }
  if (settings_.answerStatus) {
    answerLinger_ = platform.CreateTimer();
    answerLinger_->SetTickHandler([this] { OnAnswerLingerEnd(); });
  }
}

NetworkSource::~NetworkSource() {
  socket_->SetEvents(nullptr);
  if (listener_) listener_->SetEvents(nullptr);
}

SocketState NetworkSource::SocketStateNow() const {
  if (listener_ && !Serving()) return listener_->State();
  return socket_->State();
}

void NetworkSource::Restart() {
  ending_ = true;  // a peer that asks meanwhile waits for the set-up
  reconnectDue_ = false;
  if (link_) link_->Close();
  if (answerLinger_) answerLinger_->Stop();
  responder_ = tap::StatusResponder();
  unsentReplies_ = 0;
  socket_->Close();
  platform_.Loop().RunPending();
  // Each set-up starts the pacing span in which a further one waits.
  pace_->Start(kMinAttemptSpacingMs);
  // Between two peers of a listener that still listens while the relay runs
  // nothing is set up, so the clients' listener is not opened again under a
  // client that is connecting as a job ends.
  if (restartingItself_ && host_.IsSourceReady() && listener_ &&
      listener_->State() == SocketState::kListening) {
    host_.RestartFrameTimer(0);  // stopped, as a set-up stops it
    ending_ = false;
    return Guarded([&] { ServeNextWaiting(); });
  }
  host_.WatchSetUp(kSetUpWatchdogMs);
  if (settings_.protocol == NetworkProtocol::kUdp) {
    StartUdp();
  } else {
    StartTcp();
  }
}

void NetworkSource::Stop() {
  if (link_) link_->Close();
  if (answerLinger_) answerLinger_->Stop();
  socket_->Close();
  if (listener_) listener_->Close();
  waiting_.Clear();
  reconnectDue_ = false;
  pace_->Stop();
}

void NetworkSource::StartTcp() {
  try {
    if (settings_.listen) {
      // A listener that still listens goes on: peers waiting on it keep their place.
      if (!listener_ || listener_->State() != SocketState::kListening) Listen();
      host_.OnSourceReady();
      ending_ = false;
      ServeNextWaiting();
    } else {
      socket_->Connect(settings_.peerHost, settings_.port);
    }
  } catch (const std::exception& e) {
    // The set-up watchdog stays armed and restarts the source in 3 s.
    LogFailure("Error at ReconnectTCP: ", e);
  }
}

void NetworkSource::Listen() {
  if (!listener_) {
    listener_ = platform_.CreateSocket();
    listener_->SetEvents(&listenerEvents_);
  }
  listener_->Close();
  waiting_.Clear();
  listener_->Listen(settings_.port);
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
  RestartItself();
}

void NetworkSource::RestartItself() {
  restartingItself_ = true;
  host_.RestartSource(false);
  restartingItself_ = false;
}

// A listener's peer that ended its job cleanly is no failure to pace: the
// next job may be waiting already.
void NetworkSource::ServeNext() {
  if (settings_.listen && !reconnectDue_) {
    RestartItself();
  } else {
    Reconnect();
  }
}

void NetworkSource::OnPaceTick() {
  pace_->Stop();
  if (!reconnectDue_) return;
  reconnectDue_ = false;
  RestartItself();
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

void NetworkSource::OnListenerRequest(int32_t requestId) {
  Guarded([&] {
    waiting_.Hold(requestId);
    if (waiting_.Full()) listener_->PauseReading();
    ServeNextWaiting();
  });
}

void NetworkSource::OnListenerError(int number, const std::string& description) {
  Guarded([&] {
    listener_->Close();
    waiting_.Clear();
    LogLazy(LogLevel::kError, [&] { return "SrcSock error: " + std::to_string(number) + " - " + description; });
    if (!Serving()) Reconnect();  // otherwise the served peer's end sets it up again
  });
}

void NetworkSource::ServeNextWaiting() {
  if (Serving() || ending_ || !host_.IsSourceReady()) return;
  std::unique_ptr<WaitingConnections::Connection> next = waiting_.TakeNext();
  if (!next) return;
  if (!waiting_.Full()) listener_->ResumeReading();
  socket_->TakeOver(*next->socket);
  Guarded([&] {
    BeginServing();
    if (!Serving()) return;  // the printer could not be tried
    socket_->ResumeReading();
    TakeData();  // what arrived while it waited
  });
  if (next->failed) return OnError(next->errorNumber, next->errorDescription);
  if (next->closed && Serving()) OnClosed();
}

void NetworkSource::BeginServing() {
  Log(LogLevel::kError, "SrcSock connection request.");
  if (link_ && !link_->Open(*socket_)) OnPrinterLinkEnded();
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
    if (answerLinger_ && answerLinger_->IsRunning()) OnAnswerLingerEnd();
  });
}

// A POS sends one job per connection: its end is the end of the receipt,
// which must not wait for the next job (the set-up stops the frame timer).
void NetworkSource::SendFrameInProgress() { frames_.SendFrame(); }

void NetworkSource::OnClosed() {
  Guarded([&] {
    // With a printer, the peer still gets the printer's last replies; with
    // status answers, the answers still on their way.
    const bool lingering = link_ && link_->OnPosClosed();
    const bool answering = !lingering && answerLinger_ && unsentReplies_ > 0;
    if (!lingering && !answering) ending_ = true;
    if (answering) {
      socket_->ShutdownSend();
      answerLinger_->Start(kAnswerLingerMs);
    } else if (!lingering) {
      socket_->Close();
      platform_.Loop().RunPending();
    }
    Log(LogLevel::kError, "SrcSock closed.");
    SendFrameInProgress();
    if (!lingering && !answering) ServeNext();
  });
}

void NetworkSource::OnAnswerLingerEnd() {
  answerLinger_->Stop();
  ending_ = true;
  socket_->Close();
  platform_.Loop().RunPending();
  ServeNext();
}

void NetworkSource::OnPrinterLinkEnded() {
  Guarded([&] {
    const bool clean = socket_->State() == SocketState::kClosing;  // the POS had ended its side
    ending_ = true;
    socket_->Close();
    platform_.Loop().RunPending();
    SendFrameInProgress();
    if (clean) {
      ServeNext();
    } else {
      Reconnect();
    }
  });
}

void NetworkSource::OnError(int number, const std::string& description) {
  Guarded([&] {
    ending_ = true;
    if (link_) link_->Close();
    socket_->Close();
    platform_.Loop().RunPending();
    LogLazy(LogLevel::kError, [&] { return "SrcSock error: " + std::to_string(number) + " - " + description; });
    SendFrameInProgress();
    Reconnect();
  });
}

}  // namespace tavrik
