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
  int16_t CommPort() const override { return commPort_; }
  void SetCommPort(int16_t port) override { commPort_ = port; }
  const std::string& Settings() const override { return settings_; }
  void SetSettings(const std::string& settings) override { settings_ = settings; }
  bool PortOpen() const override { return open_; }
  void SetPortOpen(bool open) override;
  void Input(std::string& out) override;
  int16_t InBufferCount() override;
  int16_t CommEvent() const override { return kCommEvReceive; }

  // --- the test's side ---
  // Characters arrive; raises OnComm when notify is true.
  void Receive(const std::string& bytes, bool notify = true);
  void Notify() { RaiseOnComm(); }
  // Characters that arrive while the relay reads, one batch per later read.
  void ArriveDuringRead(const std::string& bytes) { duringRead_ = bytes; }

  std::optional<PlatformError> failOpen;
  std::optional<PlatformError> failInput;
  int openCount = 0;
  int inputReads = 0;

 private:
  int16_t commPort_ = 1;
  std::string settings_ = "9600,n,8,1";
  bool open_ = false;
  std::string buffer_;
  std::string duringRead_;
};

}  // namespace tavrik
