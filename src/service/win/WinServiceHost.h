#pragma once
// Service host for the Windows service control manager: an own-process
// service named "NT Service Template", accepting stop and shutdown.
//
// Three threads take part. The main (event) thread runs StartAsService,
// StopRequested and EndService; the dispatcher thread runs the manager's
// dispatcher, which calls ServiceCtrlHandler on it; the service thread runs
// ServiceMain. They share no lock: three manual-reset events carry every
// hand-over (ServiceStartedEvent: registered, go on; StopRequestEvent: stop
// asked for, polled by the keep-alive tick; ServiceExitEvent: stopped, let
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
  bool IsService() const { return RunningAsService; }

 private:
  static DWORD WINAPI DispatcherThread(LPVOID unused);
  static VOID WINAPI ServiceMain(DWORD argc, LPSTR* argv);
  static VOID WINAPI ServiceCtrlHandler(DWORD control);

  void ReportStatus(DWORD state);
  static bool IsNtPlatform();
  HANDLE StartDispatcherThread();
  void CloseEvents();

  HANDLE ServiceExitEvent = nullptr;
  HANDLE StopRequestEvent = nullptr;
  HANDLE ServiceStartedEvent = nullptr;
  HANDLE DispatcherThreadHandle = nullptr;
  bool RunningAsService = false;  // main thread only
  SERVICE_STATUS ServiceStatus{};
  SERVICE_STATUS_HANDLE statusHandle_ = nullptr;
};

}  // namespace tavrik
