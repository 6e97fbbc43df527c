#pragma once
// The frame in progress: collects the sources' chunks, cuts frames behind the
// printer's paper-cut commands (never inside an image's or a code's data) and
// hands each finished frame, wrapped as one multipart part, to the sink.
// Owned by the relay; event thread only.
#include <cstdint>
#include <string>
#include <string_view>

#include "frames/CutScanner.h"
#include "frames/FrameListener.h"
#include "frames/PartArena.h"
#include "frames/PartSink.h"

namespace tavrik {

class FrameAssembler {
 public:
  // A frame this long is sent without waiting for the silence.
  static constexpr int32_t kMaxLength = 40960;

  FrameAssembler(bool cutDetection, bool eventContentType, PartSink& sink);

  // The sources stamp the frame's time span and count its chunks; the "Frame
  // ready" line reports them. The start is stamped only on an empty frame.
  void StampStart(double now);
  void CountChunk(double now);
  // Appends a chunk; every cut command it completes ends a frame, which is
  // sent. A cut command whose mode byte has not arrived waits for it.
  void Append(std::string_view chunk);
  // Sends the frame in progress, if any, and empties it. A command still
  // waiting for its header bytes (a cut's mode included) is forgotten: its
  // late bytes are ordinary bytes of the next frame.
  void SendFrame();
  // Also hands every finished frame to listener (nullptr: nobody), right
  // after its part went to the sink.
  void SetFrameListener(FrameListener* listener) { listener_ = listener; }
  // Drops the frame in progress and returns the buffer to its initial size.
  void DropFrame();
  // Gives back what a burst made the buffers grow to, when no frame is in progress.
  void ReleaseSpareMemory();
  // A source set up again: its first chunk cannot complete a command begun
  // before nor continue its data, and the frame's start is unknown until stamped.
  void ForgetCutPrefix() { scanner_.Reset(); }
  void ForgetStartTime() { startTime_ = -1; }

  int32_t Length() const { return length_; }
  std::string_view Frame() const { return {buffer_.data(), static_cast<size_t>(length_)}; }
  int32_t ChunkCount() const { return chunkCount_; }
  double StartTime() const { return startTime_; }
  // Frames handed to the sink since start, and their bytes.
  int64_t FramesSent() const { return framesSent_; }
  int64_t BytesSent() const { return bytesSent_; }

 private:
  void Write(std::string_view piece);
  void SendFrame(bool cut);

  bool cutDetection_;
  std::string_view contentTypeLine_;
  PartSink& sink_;
  FrameListener* listener_ = nullptr;
  std::string buffer_;  // its size is the capacity; length_ bytes are content
  int32_t length_ = 0;
  double startTime_ = -1;
  double endTime_ = 0;
  int32_t chunkCount_ = 0;
  CutScanner scanner_;
  int64_t framesSent_ = 0;
  int64_t bytesSent_ = 0;
  PartArena arena_;
};

}  // namespace tavrik
