#pragma once
// Service host for the Windows service control manager: an own-process
// service named "NT Service Template", accepting stop and shutdown.
//
// Three threads take part. The main (event) thread runs StartAsService,
// StopRequested and EndService; the dispatcher thread runs the manager's
// dispatcher, which calls ServiceCtrlHandler on it; the service thread runs
// ServiceMain. They share no lock: three manual-reset events carry every
// hand-over (serviceStartedEvent_: registered, go on; stopRequestEvent_: stop
// asked for, polled by the keep-alive tick; serviceExitEvent_: stopped, let
// ServiceMain return). The manager's callbacks reach the one instance through
// a process-wide pointer.
#include <windows.h>

#include "service/ServiceHost.h"

namespace tavrik {

class WinServiceHost : public ServiceHost {
 public:
  WinServiceHost();
  ~WinServiceHost() override;
  WinServiceHost(const WinServiceHost&) = delete;
  WinServiceHost& operator=(const WinServiceHost&) = delete;

  bool StartAsService() override;
  bool StopRequested() override;
  // Stops come from the service manager alone.
  void RequestStop() override {}
  bool EndService() override;
  bool IsService() const { return runningAsService_; }

 private:
  static DWORD WINAPI DispatcherThread(LPVOID unused);
  static VOID WINAPI ServiceMain(DWORD argc, LPSTR* argv);
  static VOID WINAPI ServiceCtrlHandler(DWORD control);

  void ReportState(DWORD state);
  HANDLE StartDispatcherThread();
  void CloseEvents();

  HANDLE serviceExitEvent_ = nullptr;
  HANDLE stopRequestEvent_ = nullptr;
  HANDLE serviceStartedEvent_ = nullptr;
  HANDLE dispatcherThread_ = nullptr;
  bool runningAsService_ = false;  // main thread only
  SERVICE_STATUS status_{};
  SERVICE_STATUS_HANDLE statusHandle_ = nullptr;
};

}  // namespace tavrik
