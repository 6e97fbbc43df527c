#pragma once
// Binds the relay to the system's service manager. Start-up calls
// StartAsService once in service mode; the keep-alive tick polls
// StopRequested and, when it turns true, StopService ends the service and
// hands over to the shutdown given by start-up.
#include <functional>
#include <memory>
#include <string>

#include "controller/ServiceControl.h"

namespace tavrik {

class ServiceHost : public ServiceControl {
 public:
  // shutdown: shuts the relay down for the service manager and ends the event loop.
  void SetShutdown(std::function<void()> shutdown) { shutdown_ = std::move(shutdown); }
  // Blocks until the service manager runs the relay as a service (true) or
  // the attempt failed (false).
  virtual bool StartAsService() = 0;
  // A stop asked for by a termination signal while running as a service.
  virtual void RequestStop() = 0;
  // Reports the service stopped; false when not running as a service.
  virtual bool EndService() = 0;
  void StopService() override {
    EndService();
    if (shutdown_) shutdown_();
  }
  // A host whose manager watches the relay or shows its status overrides these.
  void Heartbeat() override {}
  void ReportStatus(const std::string&) override {}

 private:
  std::function<void()> shutdown_;
};

// The host of this operating system.
std::unique_ptr<ServiceHost> CreateServiceHost();

}  // namespace tavrik
