#pragma once
// Serial port whose line is the test: received characters are injected, and
// opening or reading can be told to fail.
#include <optional>
#include <string>

#include "platform/PlatformError.h"
#include "platform/SerialPort.h"

namespace tavrik {

class FakeSerialPort : public SerialPort {
 public:
  void Open(int16_t number, const std::string& lineSettings) override;
  void Close() override;
  bool IsOpen() const override { return open_; }
  void Read(std::string& out) override;
  void Write(std::string_view bytes) override;
  int16_t BytesWaiting() override;
  int16_t LastEvent() const override { return kSerialDataReceived; }

  // --- the test's side ---
  int16_t Number() const { return number_; }
  const std::string& LineSettings() const { return lineSettings_; }
  // Characters arrive; raises the data handler when notify is true.
  void Receive(const std::string& bytes, bool notify = true);
  void Notify() { RaiseData(); }
  // Characters that arrive while the relay reads, one batch per later read.
  void ArriveDuringRead(const std::string& bytes) { duringRead_ = bytes; }

  std::optional<PlatformError> failOpen;
  std::optional<PlatformError> failRead;
  std::string written;  // every byte handed to Write, in order
  int openCount = 0;
  int reads = 0;

 private:
  int16_t number_ = 0;
  std::string lineSettings_;
  bool open_ = false;
  std::string buffer_;
  std::string duringRead_;
};

}  // namespace tavrik
