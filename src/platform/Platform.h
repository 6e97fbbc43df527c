#pragma once
// Factory of the components the relay owns: the one seam between the
// relay's logic and the operating system (real) or simulated time (tests).
#include <memory>
#include <string>

#include "platform/BackgroundWorker.h"
#include "platform/Clock.h"
#include "platform/EventLoop.h"
#include "platform/HttpClient.h"
#include "platform/SerialPort.h"
#include "platform/Socket.h"
#include "platform/SpoolFile.h"
#include "platform/Timer.h"

namespace tavrik {

class Platform {
 public:
  virtual ~Platform() = default;
  virtual EventLoop& Loop() = 0;
  virtual const Clock& GetClock() const = 0;
  virtual std::unique_ptr<Timer> CreateTimer() = 0;
  virtual std::unique_ptr<Socket> CreateSocket() = 0;
  virtual std::unique_ptr<SerialPort> CreateSerialPort() = 0;
  virtual std::unique_ptr<SpoolFile> OpenSpoolFile(const std::string& path) = 0;
  // A thread of its own for work that waits on the disk (see BackgroundWorker).
  virtual std::unique_ptr<BackgroundWorker> CreateWorker() = 0;
  // Null when this build has no HTTP client (see HttpClientAvailable).
  virtual std::unique_ptr<HttpClient> CreateHttpClient() = 0;
  // Hands memory that was freed back to the system, so that an idle relay
  // shrinks back after a burst (the allocator keeps freed memory otherwise).
  virtual void ReturnFreeMemory() = 0;
};

}  // namespace tavrik
