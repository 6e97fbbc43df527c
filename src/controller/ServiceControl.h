#pragma once
// What the relay tells the service manager, and the stop request as the
// keep-alive tick sees it. In application mode no stop is ever requested and
// nothing is told.
#include <string>

namespace tavrik {

class ServiceControl {
 public:
  virtual ~ServiceControl() = default;
  virtual bool StopRequested() = 0;
  // Ends the service and shuts the relay down; runs on the event thread.
  virtual void StopService() = 0;
  // The event loop is alive: called from every keep-alive tick.
  virtual void Heartbeat() = 0;
  // A one-line description of what the relay does, sent when it changes.
  virtual void ReportStatus(const std::string& status) = 0;
};

}  // namespace tavrik
