#include "platform/fake/FakeSerialPort.h"

#include <algorithm>

namespace tavrik {

void FakeSerialPort::SetPortOpen(bool open) {
  if (open) {
    if (open_) throw PlatformError(8005, "Port already open");
    if (failOpen) throw *failOpen;
    ++openCount;
  } else {
    buffer_.clear();
  }
  open_ = open;
}

void FakeSerialPort::Input(std::string& out) {
  ++inputReads;
  if (failInput) throw *failInput;
  out.swap(buffer_);
  buffer_.clear();
  buffer_.swap(duringRead_);
}

int16_t FakeSerialPort::InBufferCount() {
  return static_cast<int16_t>(std::min<size_t>(buffer_.size(), 32767));
}

void FakeSerialPort::Receive(const std::string& bytes, bool notify) {
  buffer_ += bytes;
  if (notify) RaiseOnComm();
}

}  // namespace tavrik
