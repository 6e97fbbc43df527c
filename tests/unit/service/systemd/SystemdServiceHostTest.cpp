// The systemd host against a notify socket of the test's own: a datagram
// socket in a temporary folder, named to the host by NOTIFY_SOCKET.
#include "service/systemd/SystemdServiceHost.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace tavrik {
namespace {

class SystemdServiceHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* saved = std::getenv("NOTIFY_SOCKET");
    if (saved != nullptr) savedNotifySocket_ = std::make_unique<std::string>(saved);
    char folder[] = "/tmp/tavrik-notify-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    folder_ = folder;
    path_ = folder_ + "/notify";
    socket_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(socket_, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    setenv("NOTIFY_SOCKET", path_.c_str(), 1);
  }

  void TearDown() override {
    if (savedNotifySocket_) {
      setenv("NOTIFY_SOCKET", savedNotifySocket_->c_str(), 1);
    } else {
      unsetenv("NOTIFY_SOCKET");
    }
    if (socket_ >= 0) close(socket_);
    unlink(path_.c_str());
    rmdir(folder_.c_str());
  }

  // The next datagram the host sent, or empty when none comes within 5 s.
  std::string Receive() {
    pollfd readable{socket_, POLLIN, 0};
    if (poll(&readable, 1, 5000) != 1) return "";
    char buffer[1024];
    const ssize_t n = recv(socket_, buffer, sizeof buffer, 0);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : "";
  }

  // True when a datagram is already waiting.
  bool Pending() {
    pollfd readable{socket_, POLLIN, 0};
    return poll(&readable, 1, 0) == 1;
  }

  std::unique_ptr<std::string> savedNotifySocket_;
  std::string folder_;
  std::string path_;
  int socket_ = -1;
};

TEST_F(SystemdServiceHostTest, StartReportsReadyAndStopIsSeenOnlyOnceRequested) {
  SystemdServiceHost host;
  ASSERT_TRUE(host.StartAsService());
  EXPECT_TRUE(host.IsService());
  const std::string ready = Receive();
  EXPECT_NE(ready.find("READY=1\n"), std::string::npos) << ready;
  EXPECT_NE(ready.find("MAINPID=" + std::to_string(getpid())), std::string::npos) << ready;

  EXPECT_FALSE(host.StopRequested());
  host.RequestStop();
  EXPECT_TRUE(host.StopRequested());
  EXPECT_TRUE(host.StopRequested()) << "a stop request stays until the service ends";
}

TEST_F(SystemdServiceHostTest, EndServiceReportsStoppingOnce) {
  SystemdServiceHost host;
  ASSERT_TRUE(host.StartAsService());
  Receive();  // READY=1
  host.RequestStop();

  EXPECT_TRUE(host.EndService());
  EXPECT_NE(Receive().find("STOPPING=1"), std::string::npos);
  EXPECT_FALSE(host.IsService());
  EXPECT_FALSE(host.StopRequested()) << "nothing left to stop";

  EXPECT_FALSE(host.EndService());
  EXPECT_FALSE(Pending()) << "a second EndService reports nothing";
}

TEST_F(SystemdServiceHostTest, ApplicationModeNeverSeesAStopRequest) {
  SystemdServiceHost host;  // never started
  EXPECT_FALSE(host.StopRequested());
  host.RequestStop();  // a signal in application mode
  EXPECT_FALSE(host.StopRequested());
  EXPECT_FALSE(host.EndService());
  EXPECT_FALSE(Pending());
}

TEST_F(SystemdServiceHostTest, StartFailsOutsideTheServiceManager) {
  unsetenv("NOTIFY_SOCKET");
  SystemdServiceHost withoutSocket;
  EXPECT_FALSE(withoutSocket.StartAsService());
  EXPECT_FALSE(withoutSocket.IsService());

  setenv("NOTIFY_SOCKET", (folder_ + "/nobody-listens").c_str(), 1);
  SystemdServiceHost unreachable;
  EXPECT_FALSE(unreachable.StartAsService());
  EXPECT_FALSE(unreachable.StopRequested());
}

TEST_F(SystemdServiceHostTest, WatchdogPingsOnlyWhenAskedForThisProcessAndStatusIsSent) {
  for (const char* pid : {"", "1"}) {
    setenv("WATCHDOG_USEC", "10000000", 1);
    setenv("WATCHDOG_PID", pid, 1);
    SystemdServiceHost host;
    ASSERT_TRUE(host.StartAsService());
    Receive();  // READY=1
    EXPECT_EQ(host.WatchdogEnabled(), *pid == '\0') << "WATCHDOG_PID=" << pid;
    host.Heartbeat();
    if (host.WatchdogEnabled()) {
      EXPECT_EQ(Receive(), "WATCHDOG=1");
    }
    host.ReportStatus("Relaying TCP listener 9100 to 3 clients");
    EXPECT_EQ(Receive(), "STATUS=Relaying TCP listener 9100 to 3 clients");
  }
  unsetenv("WATCHDOG_USEC");
  unsetenv("WATCHDOG_PID");
  SystemdServiceHost unwatched;
  ASSERT_TRUE(unwatched.StartAsService());
  Receive();
  unwatched.Heartbeat();
  EXPECT_FALSE(Pending());
}

TEST(SystemdServiceHostFactory, CreatesTheSystemdHost) {
  const std::unique_ptr<ServiceHost> host = CreateServiceHost();
  EXPECT_NE(dynamic_cast<SystemdServiceHost*>(host.get()), nullptr);
}

}  // namespace
}  // namespace tavrik
