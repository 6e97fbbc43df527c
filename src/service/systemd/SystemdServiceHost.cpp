#include "service/systemd/SystemdServiceHost.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace tavrik {

std::unique_ptr<ServiceHost> CreateServiceHost() { return std::make_unique<SystemdServiceHost>(); }

bool SystemdServiceHost::Notify(const std::string& state) const {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socketPath_.empty() || socketPath_.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, socketPath_.data(), socketPath_.size());
  // An abstract socket name starts with '@', which stands for a NUL byte.
  if (address.sun_path[0] == '@') address.sun_path[0] = '\0';
  const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + socketPath_.size());
  const ssize_t sent = sendto(fd, state.data(), state.size(), MSG_NOSIGNAL,
                              reinterpret_cast<const sockaddr*>(&address), length);
  close(fd);
  return sent == static_cast<ssize_t>(state.size());
}

bool SystemdServiceHost::StartAsService() {
  const char* path = std::getenv("NOTIFY_SOCKET");
  if (!path || !*path) return false;  // not started by the service manager
  socketPath_ = path;
  running_ = Notify("READY=1\nSTATUS=Relaying\nMAINPID=" + std::to_string(getpid()));
  watchdog_ = running_ && WatchdogRequested();
  return running_;
}

// WATCHDOG_USEC is set when the unit has WatchdogSec=; WATCHDOG_PID, when
// set, names the process it is meant for.
bool SystemdServiceHost::WatchdogRequested() {
  const char* usec = std::getenv("WATCHDOG_USEC");
  if (usec == nullptr || std::strtoull(usec, nullptr, 10) == 0) return false;
  const char* pid = std::getenv("WATCHDOG_PID");
  return pid == nullptr || *pid == '\0' || std::strtoll(pid, nullptr, 10) == getpid();
}

void SystemdServiceHost::Heartbeat() {
  if (running_ && watchdog_) Notify("WATCHDOG=1");
}

void SystemdServiceHost::ReportStatus(const std::string& status) {
  if (running_) Notify("STATUS=" + status);
}

void SystemdServiceHost::RequestStop() { stopRequested_ = true; }

bool SystemdServiceHost::EndService() {
  if (!running_) return false;
  Notify("STOPPING=1\nSTATUS=Stopping");
  running_ = false;
  return true;
}

}  // namespace tavrik
