#include "controller/MainForm.h"

#include <algorithm>

#include "frames/MultipartPart.h"
#include "log/LogFailure.h"
#include "log/LogMsg.h"
#include "log/LogText.h"

namespace tavrik {

MainForm::MainForm(Platform& platform, const Settings& settings, ServiceControl& service)
    : platform_(platform),
      settings_(settings),
      service_(service),
      filePoll_(platform.CreateTimer()),
      keepAlive_(platform.CreateTimer()),
      timeoutTimer_(platform.CreateTimer()),
      srcSock_(platform.CreateSocket()),
      msComm1_(platform.CreateSerialPort()),
      server_(platform, [this] { Reset(true); }),
      frames_(settings.CutDetection, settings.EventContentType, server_),
      networkSource_(*srcSock_, platform, *this, frames_,
                     {settings.RemoteAddress, settings.RemotePort, settings.SrcListen,
                      settings.SrcProtocol, settings.FrameTimeout}),
      serialSource_(*msComm1_, platform.GetClock(), *this, frames_, settings.FrameTimeout),
      fileSource_(platform.OpenSpoolFile(settings.SourceFile), *filePoll_, platform.Loop(), *this, frames_,
                  settings.FrameTimeout) {
  keepAlive_->SetInterval(1000);
  keepAlive_->SetTickHandler([this] { KeepAlive_Timer(); });
  timeoutTimer_->SetTickHandler([this] { TimeoutTimer_Timer(); });
}

MainForm::~MainForm() {
  keepAlive_->SetEnabled(false);
  timeoutTimer_->SetEnabled(false);
  filePoll_->SetEnabled(false);
  LogMsg(10, "Process terminated.");
}

void MainForm::Load() {
  keepAlive_->SetEnabled(true);
  LogMsg(3, "Form loaded.");
  Reset(true);
}

void MainForm::UnloadRequest(int16_t unloadMode) {
  keepAlive_->SetEnabled(false);
  LogMsgLazy(10, [&] { return "Application Unload request. Unload Mode = " + std::to_string(unloadMode); });
  // Nothing may stop the unload: each step goes on whatever the one before did.
  const auto step = [](auto&& action) {
    try {
      action();
    } catch (const std::exception&) {
    }
  };
  step([&] { server_.CloseListener(); });
  step([&] { srcSock_->Close(); });
  step([&] { networkSource_.CancelReconnect(); });
  step([&] { server_.CloseAllSockets(); });
  step([&] { timeoutTimer_->SetEnabled(false); });
  step([&] {
    if (msComm1_->PortOpen()) msComm1_->SetPortOpen(false);
  });
}

void MainForm::Reset(bool killClients) {
  retryDelay_ = std::clamp(retryDelay_ * 10, kMinRetryDelay, kMaxRetryDelay);
  frames_.PendingCutPrefix = 0;
  LogMsgLazy(6, [&] { return "Reset. KillClients=" + BoolText(killClients); });
  try {
    if (killClients) {
      frames_.DropFrame();
      server_.CloseListener();
      platform_.Loop().YieldOnce();
      for (int i = 0; i <= server_.UBound(); ++i) server_.CloseConnection(i);
      if (server_.ListenerState() != kStateClosed) {
        resetPending_ = 1;
        RestartFrameTimer(kMinRetryDelay);
        return;
      }
    }
    ConnectSource();
    retryDelay_ = 0;
  } catch (const std::exception& e) {
    LogFailure("Reset error: ", e);
    resetPending_ = 1;
    RestartFrameTimer(retryDelay_);
  }
}

void MainForm::ConnectSource() {
  frames_.FrameStartTime = -1;
  serialSource_.ComStallCount = 0;
  if ((!settings_.RemoteAddress.empty() || settings_.SrcListen) && settings_.RemotePort > 0) {
    srcSock_->Close();
    platform_.Loop().YieldOnce();
    if (settings_.SrcProtocol == 1) {
      networkSource_.ReconnectUDP();
    } else {
      networkSource_.ReconnectTCP();
    }
  } else if (!settings_.SourceFile.empty()) {
    fileSource_.OpenSourceFile();
  } else {
    if (msComm1_->PortOpen()) msComm1_->SetPortOpen(false);
    platform_.Loop().YieldOnce();
    msComm1_->SetCommPort(settings_.ComPort);
    msComm1_->SetSettings(settings_.ComSettings);
    msComm1_->SetPortOpen(true);
    StartListening();
  }
}

void MainForm::StartListening() {
  server_.Listen(settings_.Port);
  timeoutTimer_->SetEnabled(false);
  resetPending_ = 0;
}

void MainForm::RestartFrameTimer(int32_t ms) {
  timeoutTimer_->SetEnabled(false);
  if (ms < 1) return;
  timeoutTimer_->SetInterval(ms);
  timeoutTimer_->SetEnabled(true);
}

void MainForm::TimeoutTimer_Timer() {
  if (!timeoutTimer_->Enabled()) return;  // a tick queued before the timer was stopped
  timeoutTimer_->SetEnabled(false);
  if (resetPending_ == 1 || resetPending_ == 2) {
    Reset(true);
    return;
  }
  try {
    frames_.SendFrame();
  } catch (const std::exception& e) {
    LogFailure("SendFrame error: ", e);
  }
}

void MainForm::KeepAlive_Timer() {
  try {
    if (service_.StopRequested()) {
      service_.HandleServiceStop();
      return;
    }
  } catch (const std::exception& e) {
    LogFailure("KeepAlive error: ", e);
    return;
  }
  if (++keepAliveTicks_ >= kTicksPerDay) keepAliveTicks_ = 0;
  try {
    WatchSerialPort();
    if (keepAliveTicks_ % 3 == 0)
      server_.SendToClients(BuildPart(kKeepAliveType, platform_.GetClock().LocalDateTimeText()));
  } catch (const std::exception& e) {
    LogFailure("KeepAlive error: ", e);
    Reset(true);
  }
}

// A port that keeps characters waiting from tick to tick has stopped
// notifying: drain it by hand on the third tick and reopen the source.
void MainForm::WatchSerialPort() {
  if (!msComm1_->PortOpen() || msComm1_->InBufferCount() <= 1) return;
  const int32_t stalls = serialSource_.ComStallCount + 1;
  LogMsgLazy(10, [&] { return "ERROR: Com port buffer is not empty " + std::to_string(stalls) + " times in a row"; });
  if (serialSource_.ComStallCount > 1) serialSource_.MSComm1_OnComm();
  serialSource_.ComStallCount = stalls;
  if (stalls > 2) Reset(false);
}

}  // namespace tavrik
