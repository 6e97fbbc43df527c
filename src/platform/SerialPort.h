#pragma once
// A serial (COM) port with the members and events the relay relies on.
// OnComm is raised on the event thread as soon as received characters are
// waiting, and for line failures; its handler does not tell them apart.
#include <cstdint>
#include <functional>
#include <string>

namespace tavrik {

enum CommEventCode : int16_t { kCommEvReceive = 2 };

// The port component's own error numbers, for failures that are not the
// system's.
inline constexpr int kPortOpenedError = 8000;
inline constexpr int kInvalidPortError = 8002;
inline constexpr int kPortAlreadyOpenError = 8005;
inline constexpr int kPortNotOpenError = 8018;

inline constexpr int16_t kMaxInBufferCount = 32767;

class SerialPort {
 public:
  virtual ~SerialPort() = default;
  virtual int16_t CommPort() const = 0;
  virtual void SetCommPort(int16_t port) = 0;
  virtual const std::string& Settings() const = 0;
  virtual void SetSettings(const std::string& settings) = 0;
  virtual bool PortOpen() const = 0;
  // Opening uses CommPort and Settings; failures throw PlatformError.
  virtual void SetPortOpen(bool open) = 0;
  // Moves the waiting characters into out (empty when none are waiting).
  virtual void Input(std::string& out) = 0;
  virtual int16_t InBufferCount() = 0;
  virtual int16_t CommEvent() const = 0;
  void SetOnComm(std::function<void()> handler) { onComm_ = std::move(handler); }

 protected:
  void RaiseOnComm() {
    if (onComm_) onComm_();
  }

 private:
  std::function<void()> onComm_;
};

}  // namespace tavrik
