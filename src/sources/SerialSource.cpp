#include "sources/SerialSource.h"

#include "log/LogFailure.h"
#include "log/LogMsg.h"

namespace tavrik {

SerialSource::SerialSource(SerialPort& port, const Clock& clock, SourceHost& host,
                           FrameAssembler& frames, int32_t frameTimeout)
    : port_(port), clock_(clock), host_(host), frames_(frames), frameTimeout_(frameTimeout) {
  port_.SetOnComm([this] { MSComm1_OnComm(); });
}

SerialSource::~SerialSource() { port_.SetOnComm(nullptr); }

void SerialSource::MSComm1_OnComm() {
  try {
    port_.Input(chunk_);
    if (host_.ResetPending() != 0) return;
    if (frames_.FrameLength() == 0) frames_.FrameStartTime = clock_.SecondsSinceMidnight();
    while (!chunk_.empty()) {
      ComStallCount = 0;
      frames_.FrameEndTime = clock_.SecondsSinceMidnight();
      ++frames_.EventCount;
      LogMsgLazy(1, [&] {
        return "OnComm(" + std::to_string(port_.CommEvent()) + ") : '" + chunk_ + "'";
      });
      frames_.AppendInput(chunk_);
      host_.RestartFrameTimer(frameTimeout_);
      if (frames_.FrameLength() > kMaxFrame) {
        LogMsg(10, "FrameBuffer exceeds maximum frame size.");
        frames_.SendFrame();
      }
      port_.Input(chunk_);
    }
  } catch (const std::exception& e) {
    LogFailure("OnComm error: ", e);
    host_.Reset(true);
  }
}

}  // namespace tavrik
