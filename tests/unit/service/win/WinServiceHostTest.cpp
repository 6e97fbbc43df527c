// The Windows host from a process that the service manager did not start:
// what can be checked without installing a service. The service path itself
// is exercised by the Wine smoke test (tests/windows).
#include "service/win/WinServiceHost.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>

namespace tavrik {
namespace {

// Wine answers 0 here, so the count checks nothing there; Windows counts.
DWORD HandleCount() {
  DWORD count = 0;
  GetProcessHandleCount(GetCurrentProcess(), &count);
  return count;
}

TEST(WinServiceHost, ApplicationModeNeverSeesAStopRequest) {
  WinServiceHost host;  // never started
  EXPECT_FALSE(host.IsService());
  EXPECT_FALSE(host.StopRequested());
  host.RequestStop();  // does nothing: stops come from the service manager
  EXPECT_FALSE(host.StopRequested());
  EXPECT_FALSE(host.EndService());
}

// The dispatcher fails with ERROR_FAILED_SERVICE_CONTROLLER_CONNECT; Windows
// says so at once, Wine after about ten seconds.
TEST(WinServiceHost, StartOutsideTheServiceManagerFailsAndLeavesNoHandles) {
  const DWORD before = HandleCount();
  {
    WinServiceHost host;
    EXPECT_FALSE(host.StartAsService());
    EXPECT_FALSE(host.IsService());
    EXPECT_FALSE(host.StopRequested());
    EXPECT_FALSE(host.EndService());
  }
  EXPECT_EQ(HandleCount(), before);
}

TEST(WinServiceHost, FactoryCreatesTheWindowsHost) {
  const std::unique_ptr<ServiceHost> host = CreateServiceHost();
  EXPECT_NE(dynamic_cast<WinServiceHost*>(host.get()), nullptr);
}

}  // namespace
}  // namespace tavrik
