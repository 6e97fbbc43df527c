#pragma once
// What a capture source needs of the relay that owns it.
#include <cstdint>

namespace tavrik {

class SourceHost {
 public:
  virtual ~SourceHost() = default;
  // False while a restart waits to be retried or a network source is being
  // set up: data that arrives meanwhile is dropped.
  virtual bool IsSourceReady() const = 0;
  // A network source's set-up begins: unless OnSourceReady comes within ms,
  // the source is restarted, dropping the clients.
  virtual void WatchSetUp(int32_t ms) = 0;
  // The frame in progress is sent after ms of silence.
  virtual void RestartFrameTimer(int32_t ms) = 0;
  // The source is ready: opens the client listener; failures throw.
  virtual void OnSourceReady() = 0;
  // A source that caught a failure of its own start: start it again after
  // the growing retry delay, dropping the clients.
  virtual void RetrySourceLater() = 0;
  virtual void RestartSource(bool dropClients) = 0;
};

}  // namespace tavrik
