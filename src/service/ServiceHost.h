#pragma once
// Binds the relay to the system's service manager. Start-up calls
// StartAsService once in service mode; the keep-alive tick polls
// StopRequested and, when it turns true, HandleServiceStop ends the service
// and hands over to the unload given by start-up.
#include <functional>
#include <memory>

#include "controller/ServiceControl.h"

namespace tavrik {

class ServiceHost : public ServiceControl {
 public:
  // unload: unloads and releases the controller (unload mode 1).
  void SetUnload(std::function<void()> unload) { unload_ = std::move(unload); }
  // Blocks until the service manager runs the relay as a service (true) or
  // the attempt failed (false).
  virtual bool StartAsService() = 0;
  // A stop asked for by a termination signal while running as a service.
  virtual void RequestStop() = 0;
  // Reports the service stopped; false when not running as a service.
  virtual bool EndService() = 0;
  void HandleServiceStop() override {
    EndService();
    if (unload_) unload_();
  }

 private:
  std::function<void()> unload_;
};

// The host of this operating system.
std::unique_ptr<ServiceHost> CreateServiceHost();

}  // namespace tavrik
