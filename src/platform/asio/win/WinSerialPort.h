#pragma once
// COM port n on Windows: the device \\.\COMn, opened exclusively and
// overlapped. While the port is open one read is always pending on it (on the
// io_context's completion port); what a read brings is kept here until Read
// takes it, and the data handler runs on the event thread for every arrival.
// The port owns its handle; it must not outlive the io_context.
#include <windows.h>

#include <array>
#include <asio/io_context.hpp>
#include <asio/windows/stream_handle.hpp>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/SerialPort.h"
#include "platform/SerialSettings.h"

namespace tavrik {

class WinSerialPort : public SerialPort {
 public:
  explicit WinSerialPort(asio::io_context& context);
  ~WinSerialPort() override;

  void Open(int16_t number, const std::string& lineSettings) override;
  void Close() override;
  bool IsOpen() const override { return handle_.is_open(); }
  void Read(std::string& out) override;
  void Write(std::string_view bytes) override;
  int16_t BytesWaiting() override;
  int16_t LastEvent() const override { return lastEvent_; }

  // "\\.\COMn", the name that reaches every port, COM10 and above included.
  static std::string DevicePath(int16_t port);
  // Puts the line settings into dcb: raw bytes, no handshaking.
  static void ConfigureLine(DCB& dcb, const SerialSettings& settings);

 private:
  using Chunk = std::array<char, 4096>;

  void ApplySettings(HANDLE port, const SerialSettings& settings) const;
  std::string Describe(const std::string& action) const;
  void ArmRead();
  void OnRead(uint64_t generation, const asio::error_code& error, size_t count);

  int16_t number_ = 1;
  asio::windows::stream_handle handle_;
  std::string path_;  // device opened, for error descriptions
  int16_t lastEvent_ = 0;
  std::string received_;  // arrived and not yet taken by Read
  // Why reading stopped (0 while it goes on); Read reports it once
  // everything received before it has been taken.
  DWORD readError_ = 0;
  // The pending read's buffer, one per opening and shared with the read, so
  // that a read still finishing after a close never writes into freed memory
  // or into the next opening's buffer.
  std::shared_ptr<Chunk> chunk_;
  uint64_t generation_ = 0;  // identifies the current opening
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace tavrik
