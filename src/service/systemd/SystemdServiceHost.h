#pragma once
// Service host for systemd (Type=notify): speaks the notify protocol, a
// datagram of "KEY=value" lines to the socket named by NOTIFY_SOCKET. The
// stop request is SIGTERM or SIGINT, recorded by the signal handler and
// polled by the keep-alive tick.
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
  bool IsService() const { return running_; }

 private:
  bool Notify(const std::string& state) const;

  std::string socketPath_;
  bool running_ = false;
  std::atomic<bool> stopRequested_{false};
};

}  // namespace tavrik
