#pragma once
// A serial (COM) port. The data handler runs on the event thread as soon as
// received characters are waiting, and for line failures; it does not tell
// them apart (a read then throws). Failures throw PlatformError.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tavrik {

// The event code a notification for received data carries (it is logged).
inline constexpr int16_t kSerialDataReceived = 2;

inline constexpr int16_t kMaxBytesWaiting = 32767;

class SerialPort {
 public:
  virtual ~SerialPort() = default;
  // Opens COM port number with lineSettings ("baud,parity,data bits,stop
  // bits"). An open port is not opened again: another number is refused as a
  // renumbering, the same one as already open.
  virtual void Open(int16_t number, const std::string& lineSettings) = 0;
  // Closing a closed port does nothing.
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  // Moves the waiting characters into out (empty when none are waiting).
  virtual void Read(std::string& out) = 0;
  // Writes bytes to the line without waiting; meant for a few bytes of
  // answer at a time: what the driver cannot take at once is dropped.
  virtual void Write(std::string_view bytes) = 0;
  // Characters waiting to be read, capped at kMaxBytesWaiting; 0 when closed.
  virtual int16_t BytesWaiting() = 0;
  // The event code of the latest notification.
  virtual int16_t LastEvent() const = 0;
  void SetDataHandler(std::function<void()> handler) { onData_ = std::move(handler); }

 protected:
  void RaiseData() {
    if (onData_) onData_();
  }

 private:
  std::function<void()> onData_;
};

}  // namespace tavrik
