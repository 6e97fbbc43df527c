#pragma once
// COM port n on Linux: the entry com<n> in the executable's folder when it
// exists (normally a link to a tty), otherwise /dev/ttyS<n-1>. OnComm is
// raised from an asio wait on the port's descriptor, on the event thread.
// The port owns its descriptor; it must not outlive the io_context.
#include <asio/io_context.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/SerialPort.h"

namespace tavrik {

class PosixSerialPort : public SerialPort {
 public:
  PosixSerialPort(asio::io_context& context, std::string executableFolder);
  ~PosixSerialPort() override;

  int16_t CommPort() const override { return commPort_; }
  void SetCommPort(int16_t port) override;
  const std::string& Settings() const override { return settings_; }
  void SetSettings(const std::string& settings) override;
  bool PortOpen() const override { return descriptor_.is_open(); }
  void SetPortOpen(bool open) override;
  void Input(std::string& out) override;
  int16_t InBufferCount() override;
  int16_t CommEvent() const override { return commEvent_; }

 private:
  void Open();
  void Close();
  std::string ResolvePath() const;
  std::string Describe(const std::string& action, int error) const;
  void ArmWait();
  void OnReadable(uint64_t generation, const asio::error_code& error);
  bool LineHungUp();

  std::string executableFolder_;
  int16_t commPort_ = 1;
  std::string settings_ = "9600,n,8,1";
  asio::posix::stream_descriptor descriptor_;
  std::string path_;  // device opened, for error descriptions
  int16_t commEvent_ = 0;
  // A hung-up line stays readable for ever; it is not waited on again until
  // the port is reopened, so that OnComm does not spin.
  bool hungUp_ = false;
  uint64_t generation_ = 0;  // identifies the current opening
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace tavrik
