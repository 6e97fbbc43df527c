#pragma once
// Simulated platform for unit tests: a posted-handler queue, simulated time
// that fires due timers in deadline order (ties first armed, first fired),
// and components the test can reach to play the peers. Single-threaded.
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <vector>

#include "platform/Platform.h"
#include "platform/fake/FakeClock.h"
#include "platform/fake/FakeSerialPort.h"
#include "platform/fake/FakeSocket.h"
#include "platform/fake/FakeSpoolFile.h"
#include "platform/fake/FakeTimer.h"

namespace tavrik {

class FakePlatform : public Platform, private EventLoop {
 public:
  FakePlatform() : clock_(nowMs_) {}

  EventLoop& Loop() override { return *this; }
  const Clock& GetClock() const override { return clock_; }
  std::unique_ptr<Timer> CreateTimer() override;
  std::unique_ptr<Socket> CreateSocket() override;
  std::unique_ptr<SerialPort> CreateSerialPort() override;
  std::unique_ptr<SpoolFile> OpenSpoolFile(const std::string& path) override;
  void ReturnFreeMemory() override { ++memoryReturns; }
  int memoryReturns = 0;

  // --- simulated time ---
  int64_t NowMs() const { return nowMs_; }
  FakeClock& SimulatedClock() { return clock_; }
  // Moves time forward, firing every timer that falls due on the way.
  void Advance(int64_t ms);
  // Runs the posted handlers (and those they post).
  void RunPosted();

  // --- components, in order of creation ---
  const std::vector<FakeSocket*>& Sockets() const { return sockets_; }
  const std::vector<FakeTimer*>& Timers() const { return timers_; }
  FakeSerialPort* Serial() const { return serial_; }
  FakeSpoolContent& Spool(const std::string& path) { return spools_[path]; }

  // --- used by the fakes ---
  void Register(FakeTimer* timer) { timers_.push_back(timer); }
  void Unregister(FakeTimer* timer);
  void Unregister(FakeSocket* socket);
  uint64_t NextSequence() { return ++sequence_; }
  int32_t HoldConnectionRequest() { requests_.insert(++lastRequest_); return lastRequest_; }
  bool TakeConnectionRequest(int32_t id) { return requests_.erase(id) > 0; }
  void DropConnectionRequest(int32_t id) { requests_.erase(id); }

 private:
  void Post(std::function<void()> handler) override { posted_.push_back(std::move(handler)); }
  void RunPending() override { RunPosted(); }
  FakeTimer* NextDue(int64_t until) const;

  int64_t nowMs_ = 0;
  uint64_t sequence_ = 0;
  FakeClock clock_;
  std::vector<FakeTimer*> timers_;
  std::deque<std::function<void()>> posted_;
  std::vector<FakeSocket*> sockets_;
  FakeSerialPort* serial_ = nullptr;
  std::map<std::string, FakeSpoolContent> spools_;
  std::set<int32_t> requests_;
  int32_t lastRequest_ = 0;
};

}  // namespace tavrik
