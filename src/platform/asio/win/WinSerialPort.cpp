#include "platform/asio/win/WinSerialPort.h"

#include <algorithm>
#include <asio/buffer.hpp>
#include <asio/error.hpp>
#include <asio/write.hpp>

#include "platform/ErrorNumbers.h"
#include "platform/asio/win/WinError.h"

namespace tavrik {
namespace {

BYTE ParityCode(char parity) {
  switch (parity) {
    case 'e':
      return EVENPARITY;
    case 'o':
      return ODDPARITY;
    case 'm':
      return MARKPARITY;
    case 's':
      return SPACEPARITY;
    default:
      return NOPARITY;
  }
}

BYTE StopBitsCode(int stopBitsTimesTen) {
  switch (stopBitsTimesTen) {
    case 15:
      return ONE5STOPBITS;
    case 20:
      return TWOSTOPBITS;
    default:
      return ONESTOPBIT;
  }
}

}  // namespace

WinSerialPort::WinSerialPort(asio::io_context& context) : handle_(context) {}

WinSerialPort::~WinSerialPort() {
  *alive_ = false;
  Close();
}

std::string WinSerialPort::DevicePath(int16_t port) {
  return "\\\\.\\COM" + std::to_string(port);
}

void WinSerialPort::ConfigureLine(DCB& dcb, const SerialSettings& settings) {
  dcb.BaudRate = static_cast<DWORD>(settings.baud);
  dcb.ByteSize = static_cast<BYTE>(settings.dataBits);
  dcb.Parity = ParityCode(settings.parity);
  dcb.StopBits = StopBitsCode(settings.stopBitsTimesTen);
  dcb.fBinary = TRUE;
  // A byte with a parity error is still delivered; the error flag is cleared
  // by the next ClearCommError.
  dcb.fParity = settings.parity != 'n';
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fTXContinueOnXoff = TRUE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;  // NUL bytes are data
  dcb.fAbortOnError = FALSE;
}

std::string WinSerialPort::Describe(const std::string& action) const {
  return action + " COM" + std::to_string(number_) + " (" + path_ + ")";
}

void WinSerialPort::ApplySettings(HANDLE port, const SerialSettings& settings) const {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(port, &dcb)) throw WinFailure(GetLastError(), Describe("Cannot configure"));
  ConfigureLine(dcb, settings);
  if (!SetCommState(port, &dcb)) throw WinFailure(GetLastError(), Describe("Cannot configure"));
}

void WinSerialPort::Open(int16_t number, const std::string& lineSettings) {
  if (IsOpen()) throw number == number_ ? errors::PortAlreadyOpen() : errors::PortOpened();
  number_ = number;
  if (number_ < 1) throw errors::InvalidPort();
  const SerialSettings settings = ParseSerialSettings(lineSettings);
  path_ = DevicePath(number_);
  // No sharing: a COM port has one user at a time.
  HANDLE port = CreateFileA(path_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OVERLAPPED, nullptr);
  if (port == INVALID_HANDLE_VALUE) throw WinFailure(GetLastError(), Describe("Cannot open"));
  try {
    ApplySettings(port, settings);
    // A read waits for the first byte, then returns what has come once the
    // line is quiet for a moment: one read per burst.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 1;
    if (!SetCommTimeouts(port, &timeouts))
      throw WinFailure(GetLastError(), Describe("Cannot configure"));
  } catch (...) {
    CloseHandle(port);
    throw;
  }
  asio::error_code assignError;
  handle_.assign(port, assignError);
  if (assignError) {
    CloseHandle(port);
    throw WinFailure(static_cast<DWORD>(assignError.value()), Describe("Cannot open"));
  }
  ++generation_;
  received_.clear();
  readError_ = 0;
  lastEvent_ = 0;
  chunk_ = std::make_shared<Chunk>();
  ArmRead();
}

void WinSerialPort::Close() {
  if (!IsOpen()) return;
  ++generation_;
  received_.clear();
  // Cancels the pending read; its completion still comes, and is ignored.
  asio::error_code ignored;
  handle_.close(ignored);
}

void WinSerialPort::ArmRead() {
  handle_.async_read_some(asio::buffer(*chunk_),
                          [this, chunk = chunk_, generation = generation_, alive = alive_](
                              const asio::error_code& error, size_t count) {
                            if (!*alive || generation != generation_) return;
                            OnRead(generation, error, count);
                          });
}

void WinSerialPort::OnRead(uint64_t generation, const asio::error_code& error, size_t count) {
  if (error) {
    // Asio reports a read of no bytes as end of file, which a serial line
    // has not; the system's "reached the end of the file" stands for it.
    readError_ = error == asio::error::eof ? ERROR_HANDLE_EOF : static_cast<DWORD>(error.value());
  } else {
    received_.append(chunk_->data(), count);
  }
  lastEvent_ = kSerialDataReceived;
  try {
    RaiseData();
  } catch (...) {
    // The handler catches its own failures; nothing may escape into the loop.
  }
  // The handler may have closed or reopened the port; that opening reads on its own.
  if (generation != generation_ || !IsOpen() || readError_ != 0) return;
  ArmRead();
}

void WinSerialPort::Read(std::string& out) {
  if (!IsOpen()) throw errors::PortNotOpen();
  out.clear();
  out.swap(received_);
  if (out.empty() && readError_ != 0) throw WinFailure(readError_, Describe("Cannot read"));
}

void WinSerialPort::Write(std::string_view bytes) {
  if (!IsOpen()) throw errors::PortNotOpen();
  // An overlapped write that owns its copy; a failure shows in the pending read.
  auto copy = std::make_shared<const std::string>(bytes);
  asio::async_write(handle_, asio::buffer(*copy), [copy](const asio::error_code&, size_t) {});
}

int16_t WinSerialPort::BytesWaiting() {
  if (!IsOpen()) return 0;
  DWORD lineErrors = 0;
  COMSTAT status{};
  if (!ClearCommError(handle_.native_handle(), &lineErrors, &status))
    throw WinFailure(GetLastError(), Describe("Cannot read"));
  const size_t waiting = received_.size() + status.cbInQue;
  return static_cast<int16_t>(std::min(waiting, size_t{kMaxBytesWaiting}));
}

}  // namespace tavrik
