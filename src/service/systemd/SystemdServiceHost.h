#pragma once
// Service host for systemd (Type=notify): speaks the notify protocol, a
// datagram of "KEY=value" lines to the socket named by NOTIFY_SOCKET. The
// stop request is SIGTERM or SIGINT, recorded by the signal handler and
// polled by the keep-alive tick. With WatchdogSec= set for this process, every
// keep-alive tick pings the watchdog, so a hung event loop gets restarted.
#include <atomic>
#include <string>

#include "service/ServiceHost.h"

namespace tavrik {

class SystemdServiceHost : public ServiceHost {
 public:
  bool StartAsService() override;
  bool EndService() override;
  bool StopRequested() override { return running_ && stopRequested_.load(); }
  void RequestStop() override;
  void Heartbeat() override;
  void ReportStatus(const std::string& status) override;
  bool IsService() const { return running_; }
  bool WatchdogEnabled() const { return watchdog_; }

 private:
  bool Notify(const std::string& state) const;
  static bool WatchdogRequested();

  std::string socketPath_;
  bool running_ = false;
  bool watchdog_ = false;
  std::atomic<bool> stopRequested_{false};
};

}  // namespace tavrik
