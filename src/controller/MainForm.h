#pragma once
// The relay's one long-lived controller. It owns every component the relay
// talks through (timers, source socket, serial port, client listener and
// sockets), the frame in progress and the recovery state, and receives every
// event on the single event thread.
//
// Recovery state (ResetPending, with TimeoutTimer):
//
//   Reset fails / listener stuck --(arm RetryDelay or 1000 ms)--> 1 --+
//   network set-up starts -------(arm 3000 ms watchdog)---------> 2 --+--expiry--> Reset(true)
//   source ready: StartListening --(disarm)--> 0 --expiry--> send the frame in progress
#include <cstdint>
#include <memory>

#include "controller/ServiceControl.h"
#include "controller/Settings.h"
#include "frames/FrameAssembler.h"
#include "platform/Platform.h"
#include "server/ClientServer.h"
#include "sources/FileSource.h"
#include "sources/NetworkSource.h"
#include "sources/SerialSource.h"
#include "sources/SourceHost.h"

namespace tavrik {

class MainForm : private SourceHost {
 public:
  static constexpr int32_t kMaxRetryDelay = 50000;
  static constexpr int32_t kMinRetryDelay = 1000;
  static constexpr int32_t kTicksPerDay = 86400;

  MainForm(Platform& platform, const Settings& settings, ServiceControl& service);
  // The terminate step.
  ~MainForm() override;
  MainForm(const MainForm&) = delete;
  MainForm& operator=(const MainForm&) = delete;

  // The load step: starts the keep-alive tick and opens the source.
  void Load();
  // Closes every connection and the port; unloadMode tells why.
  void UnloadRequest(int16_t unloadMode);
  void Reset(bool killClients) override;

  int16_t ResetPending() const override { return resetPending_; }
  int32_t RetryDelay() const { return retryDelay_; }
  int32_t KeepAliveTicks() const { return keepAliveTicks_; }
  FrameAssembler& Frames() { return frames_; }
  ClientServer& Server() { return server_; }
  SerialSource& Serial() { return serialSource_; }
  FileSource& File() { return fileSource_; }
  Timer& TimeoutTimer() { return *timeoutTimer_; }
  Timer& KeepAlive() { return *keepAlive_; }

 private:
  void SetResetPending(int16_t value) override { resetPending_ = value; }
  void RestartFrameTimer(int32_t ms) override;
  void StartListening() override;
  void ConnectSource();
  void TimeoutTimer_Timer();
  void KeepAlive_Timer();
  void WatchSerialPort();

  Platform& platform_;
  const Settings settings_;
  ServiceControl& service_;
  std::unique_ptr<Timer> filePoll_;
  std::unique_ptr<Timer> keepAlive_;
  std::unique_ptr<Timer> timeoutTimer_;
  std::unique_ptr<Socket> srcSock_;
  std::unique_ptr<SerialPort> msComm1_;
  ClientServer server_;
  FrameAssembler frames_;
  NetworkSource networkSource_;
  SerialSource serialSource_;
  FileSource fileSource_;

  int16_t resetPending_ = 0;
  int32_t keepAliveTicks_ = 0;
  int32_t retryDelay_ = 0;
};

}  // namespace tavrik
