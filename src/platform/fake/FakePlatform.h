#pragma once
// Simulated platform for unit tests: a posted-handler queue, simulated time
// that fires due timers in deadline order (ties first armed, first fired),
// also from a handler's nested run of pending events, and components the
// test can reach to play the peers. Single-threaded.
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/fake/FakeBackgroundWorker.h"
#include "platform/fake/FakeClock.h"
#include "platform/fake/FakeHttpClient.h"
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
  std::unique_ptr<BackgroundWorker> CreateWorker() override;
  std::unique_ptr<HttpClient> CreateHttpClient() override;
  void ReturnFreeMemory() override { ++memoryReturns; }
  int memoryReturns = 0;

  // --- simulated time ---
  int64_t NowMs() const { return nowMs_; }
  FakeClock& SimulatedClock() { return clock_; }
  // Moves time forward, firing every timer that falls due on the way.
  void Advance(int64_t ms);
  // Moves time forward without firing anything, as a handler that takes long
  // (a slow disk, a paused machine) does: the timers that fall due meanwhile
  // fire at the next run of events, nested ones included.
  void Stall(int64_t ms) { nowMs_ += ms; }
  // Runs the posted handlers (and those they post).
  void RunPosted();

  // --- components, in order of creation ---
  const std::vector<FakeSocket*>& Sockets() const { return sockets_; }
  const std::vector<FakeTimer*>& Timers() const { return timers_; }
  FakeSerialPort* Serial() const { return serial_; }
  FakeSpoolContent& Spool(const std::string& path) { return spools_[path]; }
  const std::vector<FakeBackgroundWorker*>& Workers() const { return workers_; }
  const std::vector<FakeHttpClient*>& HttpClients() const { return httpClients_; }

  // --- used by the fakes ---
  void Register(FakeTimer* timer) { timers_.push_back(timer); }
  void Unregister(FakeTimer* timer);
  void Unregister(FakeSocket* socket);
  void Unregister(FakeBackgroundWorker* worker);
  void Unregister(FakeHttpClient* client);
  uint64_t NextSequence() { return ++sequence_; }
  int32_t HoldConnectionRequest(const std::string& peerHost) {
    requests_.insert_or_assign(++lastRequest_, peerHost);
    return lastRequest_;
  }
  // The peer of the request, if it is still held.
  std::optional<std::string> TakeConnectionRequest(int32_t id) {
    auto it = requests_.find(id);
    if (it == requests_.end()) return std::nullopt;
    std::string peer = std::move(it->second);
    requests_.erase(it);
    return peer;
  }
  void DropConnectionRequest(int32_t id) { requests_.erase(id); }

 private:
  void Post(std::function<void()> handler) override { posted_.push_back(std::move(handler)); }
  // As the real loop's nested run does, this also fires the timers that are
  // due by now: a handler that runs pending events can meet any tick.
  void RunPending() override;
  FakeTimer* NextDue(int64_t until) const;

  int64_t nowMs_ = 0;
  uint64_t sequence_ = 0;
  FakeClock clock_;
  std::vector<FakeTimer*> timers_;
  std::deque<std::function<void()>> posted_;
  std::vector<FakeSocket*> sockets_;
  std::vector<FakeBackgroundWorker*> workers_;
  std::vector<FakeHttpClient*> httpClients_;
  FakeSerialPort* serial_ = nullptr;
  std::map<std::string, FakeSpoolContent> spools_;
  std::map<int32_t, std::string> requests_;
  int32_t lastRequest_ = 0;
};

}  // namespace tavrik
