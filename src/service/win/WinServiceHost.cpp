#include "service/win/WinServiceHost.h"

namespace tavrik {
namespace {

// Single-byte text for the dispatcher's service table, which wants it writable.
char serviceName[] = "NT Service Template";

// The one host of the process, for the manager's callbacks.
WinServiceHost* processHost = nullptr;

constexpr DWORD kAcceptedControls = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN;
constexpr DWORD kKeepState = 0;

}  // namespace

std::unique_ptr<ServiceHost> CreateServiceHost() {
  return std::make_unique<WinServiceHost>();
}

WinServiceHost::WinServiceHost() {
  processHost = this;
}

WinServiceHost::~WinServiceHost() {
  // A service that was never ended, or a failed start, leaves handles open.
  if (runningAsService_) EndService();
  CloseEvents();
  processHost = nullptr;
}

bool WinServiceHost::StartAsService() {
  serviceExitEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  stopRequestEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  serviceStartedEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  dispatcherThread_ = StartDispatcherThread();
  // Nothing can be waiting on the event loop yet: the relay does not exist.
  const HANDLE waitFor[2] = {dispatcherThread_, serviceStartedEvent_};
  const DWORD signalled = WaitForMultipleObjects(2, waitFor, FALSE, INFINITE);
  runningAsService_ = signalled == WAIT_OBJECT_0 + 1;
  if (runningAsService_) {
    ReportState(SERVICE_RUNNING);
    return true;
  }
  CloseHandle(dispatcherThread_);
  dispatcherThread_ = nullptr;
  return false;
}

bool WinServiceHost::StopRequested() {
  if (!runningAsService_) return false;
  // A failed wait counts as a stop request too.
  return WaitForSingleObject(stopRequestEvent_, 0) != WAIT_TIMEOUT;
}

bool WinServiceHost::EndService() {
  if (!IsService()) return false;
  ReportState(SERVICE_STOPPED);
  SetEvent(serviceExitEvent_);
  WaitForSingleObject(dispatcherThread_, INFINITE);
  CloseHandle(dispatcherThread_);
  dispatcherThread_ = nullptr;
  CloseHandle(serviceExitEvent_);
  serviceExitEvent_ = nullptr;
  CloseHandle(serviceStartedEvent_);
  serviceStartedEvent_ = nullptr;
  CloseHandle(stopRequestEvent_);
  stopRequestEvent_ = nullptr;
  runningAsService_ = false;
  return true;
}

void WinServiceHost::ReportState(DWORD state) {
  if (state != kKeepState) status_.dwCurrentState = state;
  SetServiceStatus(statusHandle_, &status_);
}

HANDLE WinServiceHost::StartDispatcherThread() {
  return CreateThread(nullptr, 0, &WinServiceHost::DispatcherThread, nullptr, 0, nullptr);
}

DWORD WINAPI WinServiceHost::DispatcherThread(LPVOID) {
  SERVICE_TABLE_ENTRYA table[] = {{serviceName, &WinServiceHost::ServiceMain}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherA(table);
}

VOID WINAPI WinServiceHost::ServiceMain(DWORD, LPSTR*) {
  WinServiceHost& host = *processHost;
  host.status_.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  host.status_.dwControlsAccepted = kAcceptedControls;
  host.status_.dwWin32ExitCode = 0;
  host.status_.dwServiceSpecificExitCode = 0;
  host.status_.dwCheckPoint = 0;
  host.status_.dwWaitHint = 0;
  host.statusHandle_ =
      RegisterServiceCtrlHandlerA(serviceName, &WinServiceHost::ServiceCtrlHandler);
  host.ReportState(SERVICE_START_PENDING);
  SetEvent(host.serviceStartedEvent_);
  WaitForSingleObject(host.serviceExitEvent_, INFINITE);
}

VOID WINAPI WinServiceHost::ServiceCtrlHandler(DWORD control) {
  WinServiceHost& host = *processHost;
  if (control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_SHUTDOWN) {
    host.ReportState(SERVICE_STOP_PENDING);
    SetEvent(host.stopRequestEvent_);
  } else {
    host.ReportState(kKeepState);
  }
}

void WinServiceHost::CloseEvents() {
  for (HANDLE* event : {&serviceExitEvent_, &stopRequestEvent_, &serviceStartedEvent_}) {
    if (*event != nullptr) CloseHandle(*event);
    *event = nullptr;
  }
}

}  // namespace tavrik
