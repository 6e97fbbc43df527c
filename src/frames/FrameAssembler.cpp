#include "frames/FrameAssembler.h"

#include <charconv>
#include <limits>
#include <stdexcept>

#include "frames/MultipartPart.h"
#include "log/Log.h"

namespace tavrik {
namespace {

constexpr size_t kInitialCapacity = 1000;

std::string TimeText(double seconds) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, seconds);
  return std::string(text, result.ptr);
}

}  // namespace

FrameAssembler::FrameAssembler(bool cutDetection, bool eventContentType, PartSink& sink)
    : cutDetection_(cutDetection),
      contentTypeLine_(eventContentType ? kEventType : kPlainTextType),
      sink_(sink),
      buffer_(kInitialCapacity, ' ') {}

void FrameAssembler::StampStart(double now) {
  if (length_ == 0) startTime_ = now;
}

void FrameAssembler::CountChunk(double now) {
  endTime_ = now;
  ++chunkCount_;
}

void FrameAssembler::Append(std::string_view chunk) {
  size_t from = 0;
  if (cutDetection_) {
    for (size_t end; (end = scanner_.NextFrameEnd(chunk, from)) != std::string_view::npos; from = end) {
      Write(chunk.substr(from, end - from));
      Log(LogLevel::kProgress, "Cut detected.");
      SendFrame(true);
    }
  }
  Write(chunk.substr(from));
}

void FrameAssembler::Write(std::string_view piece) {
  const auto needed = static_cast<int64_t>(length_) + static_cast<int64_t>(piece.size());
  constexpr int64_t kLengthLimit = std::numeric_limits<int32_t>::max();
  if (needed > kLengthLimit) throw std::overflow_error("Overflow");
  if (needed > static_cast<int64_t>(buffer_.size())) {
    // Grow by three times the needed length in one step, so that a growing
    // frame reallocates rarely.
    buffer_.resize(buffer_.size() + static_cast<size_t>(std::min(3 * needed, kLengthLimit)), '#');
  }
  piece.copy(buffer_.data() + length_, piece.size());
  length_ = static_cast<int32_t>(needed);
}

void FrameAssembler::SendFrame() {
  scanner_.ForgetHeader();
  SendFrame(false);
}

void FrameAssembler::SendFrame(bool cut) {
  if (length_ == 0) return;
  const std::string_view frame = Frame();
  length_ = 0;
  const Payload part = arena_.BuildPart(contentTypeLine_, frame);
  LogLazy(LogLevel::kProgress, [&] {
    return "Frame ready: " + std::to_string(frame.size()) +
           " bytes. Frame info (StartTime EndTime EventCount): " + TimeText(startTime_) + " / " +
           TimeText(endTime_) + " / " + std::to_string(chunkCount_);
  });
  LogLazy(LogLevel::kFrameSent, [&] { return "Sending data: '" + std::string(frame) + "'"; });
  chunkCount_ = 0;
  ++framesSent_;
  bytesSent_ += static_cast<int64_t>(frame.size());
  sink_.Broadcast(part);
  if (listener_) {
    FrameRecord record;
    record.bytes = frame;
    record.cut = cut;
    listener_->OnFrame(record);
  }
}

void FrameAssembler::ReleaseSpareMemory() {
  if (length_ != 0) return;
  if (buffer_.size() > kInitialCapacity) std::string(kInitialCapacity, ' ').swap(buffer_);
  arena_.ReleaseIdleBlocks();
}

void FrameAssembler::DropFrame() {
  buffer_.assign(kInitialCapacity, ' ');
  scanner_.ForgetHeader();
  length_ = 0;
  chunkCount_ = 0;
}

}  // namespace tavrik
