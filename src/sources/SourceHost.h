#pragma once
// What a capture source needs of the controller that owns it.
#include <cstdint>

namespace tavrik {

class SourceHost {
 public:
  virtual ~SourceHost() = default;
  // 0 running, 1 a reset is to be retried, 2 a network source is being set up.
  virtual int16_t ResetPending() const = 0;
  virtual void SetResetPending(int16_t value) = 0;
  virtual void RestartFrameTimer(int32_t ms) = 0;
  // Opens the client listener once the source is ready; failures throw.
  virtual void StartListening() = 0;
  virtual void Reset(bool killClients) = 0;
};

}  // namespace tavrik
