#pragma once
// The real platform: one asio::io_context run by the event thread. Owns the
// loop, the clock, the table of held connection requests and the signal
// watch; the components it creates must not outlive it.
#include <asio/io_context.hpp>
#include <functional>
#include <memory>
#include <string>

#include "platform/SystemPlatform.h"
#include "platform/asio/ConnectionRequests.h"
#include "platform/asio/SignalWatcher.h"
#include "platform/asio/SystemClock.h"

namespace tavrik {

class AsioPlatform : public SystemPlatform, private EventLoop {
 public:
  explicit AsioPlatform(std::string executableFolder);
  ~AsioPlatform() override;

  EventLoop& Loop() override { return *this; }
  const Clock& GetClock() const override { return clock_; }
  std::unique_ptr<Timer> CreateTimer() override;
  std::unique_ptr<Socket> CreateSocket() override;
  std::unique_ptr<SerialPort> CreateSerialPort() override;
  std::unique_ptr<SpoolFile> OpenSpoolFile(const std::string& path) override;
  std::unique_ptr<BackgroundWorker> CreateWorker() override;
  std::unique_ptr<HttpClient> CreateHttpClient() override;
  void ReturnFreeMemory() override;

  void Run() override;
  void Stop() override;
  bool IsStopped() const override { return context_.stopped(); }
  void WatchTermination(TerminationHandler handler) override;

  asio::io_context& Context() { return context_; }

 private:
  void Post(std::function<void()> handler) override;
  void RunPending() override;

  std::string executableFolder_;
  // Not created with the single-thread hint: with it, a nested poll() runs
  // work that the outer handler started but has not yet counted, the count
  // of outstanding work reaches zero and the context stops by itself.
  asio::io_context context_;
  SystemClock clock_;
  ConnectionRequests requests_;
  std::unique_ptr<SignalWatcher> signals_;
};

}  // namespace tavrik
