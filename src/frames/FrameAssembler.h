#pragma once
// The frame in progress: collects the sources' chunks, cuts frames behind the
// printer's paper-cut commands and hands each finished frame, wrapped as one
// multipart part, to the clients. Owned by the controller; event thread only.
#include <cstdint>
#include <string>
#include <string_view>

#include "frames/PartArena.h"
#include "frames/PartSink.h"

namespace tavrik {

class FrameAssembler {
 public:
  FrameAssembler(bool cutDetection, bool eventContentType, PartSink& sink);

  // Appends a chunk; every cut command in it ends a frame, which is sent.
  void AppendInput(std::string_view chunk);
  // Sends the frame in progress, if any, and empties it.
  void SendFrame();
  // Drops the frame in progress and returns the buffer to its initial size.
  void DropFrame();

  int32_t FrameLength() const { return frameLength_; }
  std::string_view Frame() const { return {frameBuffer_.data(), static_cast<size_t>(frameLength_)}; }
  size_t Capacity() const { return frameBuffer_.size(); }

  // Describe the frame in progress; kept by the sources, reported by SendFrame.
  double FrameStartTime = -1;
  double FrameEndTime = 0;
  int32_t EventCount = 0;
  // 0 none, 1 the last chunk examined ended with ESC, 2 with GS.
  uint8_t PendingCutPrefix = 0;

 private:
  void Write(std::string_view piece);

  bool cutDetection_;
  std::string_view contentTypeLine_;
  PartSink& sink_;
  std::string frameBuffer_;  // its size is the capacity; frameLength_ bytes are content
  int32_t frameLength_ = 0;
  PartArena arena_;
};

}  // namespace tavrik
