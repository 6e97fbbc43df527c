#pragma once
// The serial source: drains MSComm1 chunk by chunk into the frame in
// progress whenever the port notifies. Event thread only.
#include <cstdint>
#include <string>

#include "frames/FrameAssembler.h"
#include "platform/Platform.h"
#include "sources/SourceHost.h"

namespace tavrik {

class SerialSource {
 public:
  static constexpr int32_t kMaxFrame = 40960;

  SerialSource(SerialPort& port, const Clock& clock, SourceHost& host, FrameAssembler& frames,
               int32_t frameTimeout);
  ~SerialSource();

  // The port's notification handler; the keep-alive watchdog calls it too.
  void MSComm1_OnComm();

  // Keep-alive ticks in a row that found characters left waiting.
  int32_t ComStallCount = 0;

 private:
  SerialPort& port_;
  const Clock& clock_;
  SourceHost& host_;
  FrameAssembler& frames_;
  int32_t frameTimeout_;
  std::string chunk_;  // reused for every read
};

}  // namespace tavrik
