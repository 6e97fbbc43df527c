#include "sources/NetworkSource.h"

#include "log/LogFailure.h"
#include "log/LogMsg.h"

namespace tavrik {

NetworkSource::NetworkSource(Socket& srcSock, Platform& platform, SourceHost& host,
                             FrameAssembler& frames, NetworkSourceSettings settings)
    : srcSock_(srcSock),
      platform_(platform),
      host_(host),
      frames_(frames),
      settings_(std::move(settings)),
      pace_(platform.CreateTimer()) {
  srcSock_.SetEvents(this);
  pace_->SetInterval(kMinAttemptSpacingMs);
  pace_->SetTickHandler([this] { Pace_Timer(); });
}

NetworkSource::~NetworkSource() { srcSock_.SetEvents(nullptr); }

void NetworkSource::StartAttempt() {
  reconnectDue_ = false;
  pace_->SetEnabled(false);
  pace_->SetEnabled(true);
}

void NetworkSource::CancelReconnect() {
  reconnectDue_ = false;
  pace_->SetEnabled(false);
}

// The source is set up again at once, unless the last attempt is less than
// kMinAttemptSpacingMs old: then when that time is up.
void NetworkSource::Reconnect() {
  if (pace_->Enabled()) {
    reconnectDue_ = true;
    return;
  }
  host_.Reset(false);
}

void NetworkSource::Pace_Timer() {
  pace_->SetEnabled(false);
  if (!reconnectDue_) return;
  reconnectDue_ = false;
  host_.Reset(false);
}

void NetworkSource::ReconnectTCP() {
  StartAttempt();
  host_.RestartFrameTimer(kSetUpWatchdogMs);
  host_.SetResetPending(2);
  try {
    srcSock_.SetProtocol(kTcp);
    if (settings_.SrcListen) {
      srcSock_.SetLocalPort(settings_.RemotePort);
      srcSock_.Listen();
      host_.StartListening();
    } else {
      srcSock_.SetRemoteHost(settings_.RemoteAddress);
      srcSock_.SetRemotePort(settings_.RemotePort);
      srcSock_.Connect(settings_.RemoteAddress, settings_.RemotePort);
    }
  } catch (const std::exception& e) {
    // The set-up watchdog stays armed and resets the source in 3 s.
    LogFailure("Error at ReconnectTCP: ", e);
  }
}

void NetworkSource::ReconnectUDP() {
  StartAttempt();
  host_.RestartFrameTimer(kSetUpWatchdogMs);
  host_.SetResetPending(2);
  try {
    srcSock_.SetProtocol(kUdp);
    if (settings_.SrcListen) {
      srcSock_.Bind(settings_.RemotePort);
    } else {
      srcSock_.SetRemoteHost(settings_.RemoteAddress);
      srcSock_.SetRemotePort(settings_.RemotePort);
    }
    host_.StartListening();
  } catch (const std::exception& e) {
    LogFailure("Error at ReconnectUDP: ", e);
  }
}

// The handlers below have no trap of their own in the design; a failure in
// them is logged like a socket error and the source is set up again, keeping
// the clients.
void NetworkSource::ResetAfterFailure(const std::exception& failure) {
  LogFailure("SrcSock error: ", failure);
  Reconnect();
}

void NetworkSource::OnConnect() {
  try {
    SrcSock_Connect();
  } catch (const std::exception& e) {
    ResetAfterFailure(e);
  }
}

void NetworkSource::OnConnectionRequest(int32_t requestId) {
  try {
    SrcSock_ConnectionRequest(requestId);
  } catch (const std::exception& e) {
    ResetAfterFailure(e);
  }
}

void NetworkSource::OnDataArrival(int32_t) {
  try {
    SrcSock_DataArrival();
  } catch (const std::exception& e) {
    ResetAfterFailure(e);
  }
}

void NetworkSource::OnClose() {
  try {
    SrcSock_Close();
  } catch (const std::exception& e) {
    ResetAfterFailure(e);
  }
}

void NetworkSource::OnError(int number, const std::string& description) {
  try {
    SrcSock_Error(number, description);
  } catch (const std::exception& e) {
    ResetAfterFailure(e);
  }
}

void NetworkSource::SrcSock_Connect() { host_.StartListening(); }

void NetworkSource::SrcSock_ConnectionRequest(int32_t requestId) {
  LogMsg(10, "SrcSock connection request.");
  // Closing the listener and accepting on it serves one peer at a time.
  srcSock_.Close();
  platform_.Loop().YieldOnce();
  srcSock_.Accept(requestId);
}

void NetworkSource::SrcSock_DataArrival() {
  srcSock_.GetData(chunk_);
  if (host_.ResetPending() != 0 || chunk_.empty()) return;
  const double now = platform_.GetClock().SecondsSinceMidnight();
  if (frames_.FrameLength() == 0) frames_.FrameStartTime = now;
  frames_.FrameEndTime = now;
  ++frames_.EventCount;
  LogMsgLazy(1, [&] { return "DataArrival '" + chunk_ + "'"; });
  frames_.AppendInput(chunk_);
  host_.RestartFrameTimer(settings_.FrameTimeout);
  if (frames_.FrameLength() >= kMaxFrame) {
    LogMsg(10, "FrameBuffer exceeds maximum frame size.");
    frames_.SendFrame();
  }
}

void NetworkSource::SrcSock_Close() {
  srcSock_.Close();
  platform_.Loop().YieldOnce();
  LogMsg(10, "SrcSock closed.");
  Reconnect();
}

void NetworkSource::SrcSock_Error(int number, const std::string& description) {
  srcSock_.Close();
  platform_.Loop().YieldOnce();
  LogMsgLazy(10, [&] { return "SrcSock error: " + std::to_string(number) + " - " + description; });
  Reconnect();
}

}  // namespace tavrik
