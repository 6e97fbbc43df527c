#pragma once
// COM port n on Linux: the entry com<n> in the executable's folder when it
// exists (normally a link to a tty), otherwise /dev/ttyS<n-1>. The data
// handler runs from an asio wait on the port's descriptor, on the event thread.
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

  void Open(int16_t number, const std::string& lineSettings) override;
  void Close() override;
  bool IsOpen() const override { return descriptor_.is_open(); }
  void Read(std::string& out) override;
  void Write(std::string_view bytes) override;
  int16_t BytesWaiting() override;
  int16_t LastEvent() const override { return lastEvent_; }

 private:
  std::string ResolvePath() const;
  std::string Describe(const std::string& action, int error) const;
  void ArmWait();
  void OnReadable(uint64_t generation, const asio::error_code& error);
  bool LineHungUp();

  std::string executableFolder_;
  int16_t number_ = 1;
  asio::posix::stream_descriptor descriptor_;
  std::string path_;  // device opened, for error descriptions
  int16_t lastEvent_ = 0;
  // A hung-up line stays readable for ever; it is not waited on again until
  // the port is reopened, so that the data handler does not spin.
  bool hungUp_ = false;
  uint64_t generation_ = 0;  // identifies the current opening
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace tavrik
