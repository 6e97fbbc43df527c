#include "platform/fake/FakeSerialPort.h"

#include <algorithm>

#include "platform/ErrorNumbers.h"

namespace tavrik {

void FakeSerialPort::Open(int16_t number, const std::string& lineSettings) {
  if (open_) throw errors::PortAlreadyOpen();
  if (failOpen) throw *failOpen;
  number_ = number;
  lineSettings_ = lineSettings;
  ++openCount;
  open_ = true;
}

void FakeSerialPort::Close() {
  buffer_.clear();
  open_ = false;
}

void FakeSerialPort::Read(std::string& out) {
  ++reads;
  if (failRead) throw *failRead;
  out.swap(buffer_);
  buffer_.clear();
  buffer_.swap(duringRead_);
}

void FakeSerialPort::Write(std::string_view bytes) {
  if (!open_) throw errors::PortNotOpen();
  written += bytes;
}

int16_t FakeSerialPort::BytesWaiting() {
  return static_cast<int16_t>(std::min<size_t>(buffer_.size(), kMaxBytesWaiting));
}

void FakeSerialPort::Receive(const std::string& bytes, bool notify) {
  buffer_ += bytes;
  if (notify) RaiseData();
}

}  // namespace tavrik
