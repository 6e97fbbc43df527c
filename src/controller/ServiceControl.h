#pragma once
// The service stop request as the keep-alive tick sees it. In application
// mode no stop is ever requested.
namespace tavrik {

class ServiceControl {
 public:
  virtual ~ServiceControl() = default;
  virtual bool StopRequested() = 0;
  // Ends the service and shuts the relay down; runs on the event thread.
  virtual void StopService() = 0;
};

}  // namespace tavrik
