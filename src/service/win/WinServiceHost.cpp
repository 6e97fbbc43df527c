#include "service/win/WinServiceHost.h"

namespace tavrik {
namespace {

// Single-byte text for the dispatcher's service table, which wants it writable.
char ServiceName[] = "NT Service Template";

// The one host of the process, for the manager's callbacks.
WinServiceHost* g_host = nullptr;

constexpr DWORD kAcceptedControls = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN;
constexpr DWORD kKeepState = 0;

}  // namespace

std::unique_ptr<ServiceHost> CreateServiceHost() {
  return std::make_unique<WinServiceHost>();
}

WinServiceHost::WinServiceHost() {
  g_host = this;
}

WinServiceHost::~WinServiceHost() {
  // A service that was never ended, or a failed start, leaves handles open.
  if (RunningAsService) EndService();
  CloseEvents();
  g_host = nullptr;
}

bool WinServiceHost::StartAsService() {
  ServiceExitEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  StopRequestEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ServiceStartedEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!IsNtPlatform()) {
    CloseEvents();
    return false;
  }
  DispatcherThreadHandle = StartDispatcherThread();
  // Nothing can be waiting on the event loop yet: the controller does not exist.
  const HANDLE waitFor[2] = {DispatcherThreadHandle, ServiceStartedEvent};
  const DWORD signalled = WaitForMultipleObjects(2, waitFor, FALSE, INFINITE);
  RunningAsService = signalled == WAIT_OBJECT_0 + 1;
  if (RunningAsService) {
    ReportStatus(SERVICE_RUNNING);
    return true;
  }
  CloseHandle(DispatcherThreadHandle);
  DispatcherThreadHandle = nullptr;
  return false;
}

bool WinServiceHost::StopRequested() {
  if (!RunningAsService) return false;
  // A failed wait counts as a stop request too.
  return WaitForSingleObject(StopRequestEvent, 0) != WAIT_TIMEOUT;
}

bool WinServiceHost::EndService() {
  if (!IsService()) return false;
  ReportStatus(SERVICE_STOPPED);
  SetEvent(ServiceExitEvent);
  WaitForSingleObject(DispatcherThreadHandle, INFINITE);
  CloseHandle(DispatcherThreadHandle);
  DispatcherThreadHandle = nullptr;
  CloseHandle(ServiceExitEvent);
  ServiceExitEvent = nullptr;
  CloseHandle(ServiceStartedEvent);
  ServiceStartedEvent = nullptr;
  CloseHandle(StopRequestEvent);
  StopRequestEvent = nullptr;
  RunningAsService = false;
  return true;
}

void WinServiceHost::ReportStatus(DWORD state) {
  if (state != kKeepState) ServiceStatus.dwCurrentState = state;
  SetServiceStatus(statusHandle_, &ServiceStatus);
}

bool WinServiceHost::IsNtPlatform() {
  OSVERSIONINFOA version{};
  static_assert(sizeof version == 148);
  version.dwOSVersionInfoSize = sizeof version;
  GetVersionExA(&version);
  return version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

HANDLE WinServiceHost::StartDispatcherThread() {
  return CreateThread(nullptr, 0, &WinServiceHost::DispatcherThread, nullptr, 0, nullptr);
}

DWORD WINAPI WinServiceHost::DispatcherThread(LPVOID) {
  SERVICE_TABLE_ENTRYA table[] = {{ServiceName, &WinServiceHost::ServiceMain}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherA(table);
}

VOID WINAPI WinServiceHost::ServiceMain(DWORD, LPSTR*) {
  WinServiceHost& host = *g_host;
  host.ServiceStatus.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  host.ServiceStatus.dwControlsAccepted = kAcceptedControls;
  host.ServiceStatus.dwWin32ExitCode = 0;
  host.ServiceStatus.dwServiceSpecificExitCode = 0;
  host.ServiceStatus.dwCheckPoint = 0;
  host.ServiceStatus.dwWaitHint = 0;
  host.statusHandle_ =
      RegisterServiceCtrlHandlerA(ServiceName, &WinServiceHost::ServiceCtrlHandler);
  host.ReportStatus(SERVICE_START_PENDING);
  SetEvent(host.ServiceStartedEvent);
  WaitForSingleObject(host.ServiceExitEvent, INFINITE);
}

VOID WINAPI WinServiceHost::ServiceCtrlHandler(DWORD control) {
  WinServiceHost& host = *g_host;
  if (control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_SHUTDOWN) {
    host.ReportStatus(SERVICE_STOP_PENDING);
    SetEvent(host.StopRequestEvent);
  } else {
    host.ReportStatus(kKeepState);
  }
}

void WinServiceHost::CloseEvents() {
  for (HANDLE* event : {&ServiceExitEvent, &StopRequestEvent, &ServiceStartedEvent}) {
    if (*event != nullptr) CloseHandle(*event);
    *event = nullptr;
  }
}

}  // namespace tavrik
