#include "platform/asio/posix/PosixSerialPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/ErrorNumbers.h"
#include "platform/SerialSettings.h"
#include "platform/asio/posix/SerialLine.h"

namespace tavrik {

PosixSerialPort::PosixSerialPort(asio::io_context& context, std::string executableFolder)
    : executableFolder_(std::move(executableFolder)), descriptor_(context) {}

PosixSerialPort::~PosixSerialPort() {
  *alive_ = false;
  Close();
}

std::string PosixSerialPort::ResolvePath() const {
  const std::string link = executableFolder_ + "/com" + std::to_string(number_);
  struct stat entry {};
  if (lstat(link.c_str(), &entry) == 0) return link;
  return "/dev/ttyS" + std::to_string(number_ - 1);
}

std::string PosixSerialPort::Describe(const std::string& action, int error) const {
  return action + " com" + std::to_string(number_) + " (" + path_ + "): " + std::strerror(error);
}

void PosixSerialPort::Open(int16_t number, const std::string& lineSettings) {
  if (IsOpen()) throw number == number_ ? errors::PortAlreadyOpen() : errors::PortOpened();
  number_ = number;
  if (number_ < 1) throw errors::InvalidPort();
  const SerialSettings settings = ParseSerialSettings(lineSettings);
  path_ = ResolvePath();
  const int fd = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    throw PlatformError(error, Describe("Cannot open", error));
  }
  const int error = ConfigureSerialLine(fd, settings);
  if (error != 0) {
    ::close(fd);
    throw PlatformError(error, Describe("Cannot configure", error));
  }
  // Other programs cannot open the tty while the relay holds it, as with a
  // COM port; not every driver supports it, hence no check.
  ::ioctl(fd, TIOCEXCL);
  asio::error_code assignError;
  descriptor_.assign(fd, assignError);
  if (assignError) {
    ::close(fd);
    throw PlatformError(assignError.value(), Describe("Cannot open", assignError.value()));
  }
  ++generation_;
  hungUp_ = false;
  lastEvent_ = 0;
  ArmWait();
}

void PosixSerialPort::Close() {
  if (!IsOpen()) return;
  ++generation_;
  // Release the exclusive hold for the next opening; a hung-up line refuses
  // the request, which does no harm.
  ::ioctl(descriptor_.native_handle(), TIOCNXCL);
  asio::error_code ignored;
  descriptor_.close(ignored);
}

void PosixSerialPort::ArmWait() {
  descriptor_.async_wait(
      asio::posix::stream_descriptor::wait_read,
      [this, generation = generation_, alive = alive_](const asio::error_code& error) {
        if (!*alive || generation != generation_) return;
        OnReadable(generation, error);
      });
}

void PosixSerialPort::OnReadable(uint64_t generation, const asio::error_code& error) {
  if (error || LineHungUp()) hungUp_ = true;
  lastEvent_ = kSerialDataReceived;
  try {
    RaiseData();
  } catch (...) {
    // The handler catches its own failures; nothing may escape into the loop.
  }
  // The handler may have closed or reopened the port; that opening has its own wait.
  if (generation != generation_ || !IsOpen() || hungUp_) return;
  ArmWait();
}

bool PosixSerialPort::LineHungUp() {
  pollfd line{descriptor_.native_handle(), POLLIN, 0};
  return ::poll(&line, 1, 0) > 0 && (line.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

void PosixSerialPort::Read(std::string& out) {
  if (!IsOpen()) throw errors::PortNotOpen();
  out.clear();
  char chunk[4096];
  for (;;) {
    const ssize_t count = ::read(descriptor_.native_handle(), chunk, sizeof chunk);
    if (count > 0) {
      out.append(chunk, static_cast<size_t>(count));
      continue;
    }
    const int error = count < 0 ? errno : 0;
    if (error == EINTR) continue;
    if (error == EAGAIN || error == EWOULDBLOCK) return;
    // End of file or EIO: the device went away (a pseudo-terminal's master
    // closed, an adapter unplugged). Hand over what came before it first.
    if (error == 0 || error == EIO) {
      hungUp_ = true;
      if (!out.empty()) return;
      throw PlatformError(
          EIO, "Device disconnected: com" + std::to_string(number_) + " (" + path_ + ")");
    }
    if (!out.empty()) return;
    throw PlatformError(error, Describe("Cannot read", error));
  }
}

void PosixSerialPort::Write(std::string_view bytes) {
  if (!IsOpen()) throw errors::PortNotOpen();
  // The descriptor is non-blocking: a full output buffer drops the rest
  // rather than stall the event thread.
  while (!bytes.empty()) {
    const ssize_t count = ::write(descriptor_.native_handle(), bytes.data(), bytes.size());
    if (count > 0) {
      bytes.remove_prefix(static_cast<size_t>(count));
      continue;
    }
    const int error = count < 0 ? errno : 0;
    if (error == EINTR) continue;
    if (error == EAGAIN || error == EWOULDBLOCK) return;
    throw PlatformError(error, Describe("Cannot write", error));
  }
}

int16_t PosixSerialPort::BytesWaiting() {
  if (!IsOpen()) return 0;
  int count = 0;
  if (::ioctl(descriptor_.native_handle(), FIONREAD, &count) != 0) {
    const int error = errno;
    throw PlatformError(error, Describe("Cannot read", error));
  }
  return static_cast<int16_t>(std::clamp(count, 0, int{kMaxBytesWaiting}));
}

}  // namespace tavrik
