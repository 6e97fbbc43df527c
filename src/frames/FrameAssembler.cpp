#include "frames/FrameAssembler.h"

#include <charconv>
#include <limits>
#include <stdexcept>

#include "frames/CutSearch.h"
#include "frames/MultipartPart.h"
#include "log/LogMsg.h"

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
      frameBuffer_(kInitialCapacity, ' ') {}

void FrameAssembler::AppendInput(std::string_view chunk) {
  if (chunk.empty()) return;
  CutSearch search(chunk);
  size_t from = 0;
  if (cutDetection_ && PendingCutPrefix != 0) {
    const char completes = PendingCutPrefix == 1 ? 'i' : 'V';
    PendingCutPrefix = 0;
    if (chunk[0] == completes) {
      Write(chunk.substr(0, 1));
      LogMsg(3, "Cut detected.");
      SendFrame();
      from = 1;
    }
    // Otherwise the chunk is searched like any other, so that the frames do
    // not depend on where the source happened to split the stream.
  }
  while (from < chunk.size()) {
    const size_t cutEnd = cutDetection_ ? search.NextCutEnd(from) : std::string_view::npos;
    if (cutEnd == std::string_view::npos) {
      Write(chunk.substr(from));
      if (cutDetection_) {
        const char last = chunk.back();
        if (last == kEsc) PendingCutPrefix = 1;
        if (last == kGs) PendingCutPrefix = 2;
      }
      return;
    }
    Write(chunk.substr(from, cutEnd - from));
    LogMsg(3, "Cut detected.");
    SendFrame();
    from = cutEnd;
  }
}

void FrameAssembler::Write(std::string_view piece) {
  const auto needed = static_cast<int64_t>(frameLength_) + static_cast<int64_t>(piece.size());
  constexpr int64_t kMaxLength = std::numeric_limits<int32_t>::max();
  if (needed > kMaxLength) throw std::overflow_error("Overflow");
  if (needed > static_cast<int64_t>(frameBuffer_.size())) {
    // Grow by three times the needed length in one step, so that a growing
    // frame reallocates rarely.
    frameBuffer_.resize(frameBuffer_.size() + static_cast<size_t>(std::min(3 * needed, kMaxLength)), '#');
  }
  piece.copy(frameBuffer_.data() + frameLength_, piece.size());
  frameLength_ = static_cast<int32_t>(needed);
}

void FrameAssembler::SendFrame() {
  if (frameLength_ == 0) return;
  const std::string_view frame = Frame();
  frameLength_ = 0;
  const Payload part = arena_.BuildPart(contentTypeLine_, frame);
  LogMsgLazy(3, [&] {
    return "Frame ready: " + std::to_string(frame.size()) +
           " bytes. Frame info (StartTime EndTime EventCount): " + TimeText(FrameStartTime) + " / " +
           TimeText(FrameEndTime) + " / " + std::to_string(EventCount);
  });
  LogMsgLazy(2, [&] { return "Sending data: '" + std::string(frame) + "'"; });
  EventCount = 0;
  sink_.SendToClients(part);
}

void FrameAssembler::DropFrame() {
  frameBuffer_.assign(kInitialCapacity, ' ');
  frameLength_ = 0;
  EventCount = 0;
}

}  // namespace tavrik
