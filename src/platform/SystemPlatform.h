#pragma once
// The real platform as the program's entry point drives it: the components'
// factory, the event loop that runs every handler, and the system's requests
// to end the program.
#include <functional>
#include <memory>
#include <string>

#include "platform/Platform.h"
#include "platform/TerminationRequest.h"

namespace tavrik {

class SystemPlatform : public Platform {
 public:
  using TerminationHandler = std::function<void(TerminationRequest request)>;

  // Runs the event loop on the calling thread until Stop.
  virtual void Run() = 0;
  virtual void Stop() = 0;
  virtual bool IsStopped() const = 0;
  // From now on, hands the system's requests to end the program (signals on
  // Linux, console control events on Windows) to handler on the event thread.
  virtual void WatchTermination(TerminationHandler handler) = 0;
};

// executableFolder: where COM-port links (com<n>) are looked up.
std::unique_ptr<SystemPlatform> CreateSystemPlatform(std::string executableFolder);

}  // namespace tavrik
