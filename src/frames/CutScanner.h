#pragma once
// Follows an ESC/POS stream's commands just far enough to find where each
// paper cut ends and to step over the data of commands that carry data (see
// DataCommands.h). It keeps its place across chunks, so the frames do not
// depend on how a source split the stream.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "frames/DataCommands.h"

namespace tavrik {

class CutScanner {
 public:
  // Offset in chunk at which the frame in progress ends, looking from `from`
  // on: just behind a cut command's last byte, or, when the byte behind GS V
  // is no cut mode, at that byte (which then begins the next frame). npos when
  // the rest of the chunk ends no frame. Continue from the offset returned.
  size_t NextFrameEnd(std::string_view chunk, size_t from);
  // The frame was ended by other means (silence, size, source end): a command
  // whose header is incomplete is forgotten, so its late bytes are ordinary
  // bytes of the next frame; the data of a command already begun is still
  // stepped over, so an image larger than a frame is not cut inside.
  void ForgetHeader();
  // A new source: nothing of the old stream carries over.
  void Reset() { state_ = State::kText; }

 private:
  enum class State : uint8_t {
    kText,            // between commands
    kLead,            // ESC, GS or FS seen
    kHeader,          // collecting a data command's header
    kCutMode,         // GS V seen: m decides the command's length
    kCutFeed,         // GS V m seen: n ends it
    kCount,           // GS k m seen (m = 65-79): n counts the data
    kData,            // stepping over remaining_ bytes
    kDataToNul,       // stepping over at most remaining_ bytes up to a NUL
    kCharacterWidth,  // ESC &: the next character's width
  };
  // What a byte of a command did to the frame.
  enum class Step : uint8_t { kTaken, kCutBehind, kCutBefore, kNotTaken };

  Step StepCommand(uint8_t byte);
  void StartData();
  void EndData();
  void SkipData(std::string_view chunk, size_t& at);

  State state_ = State::kText;
  uint8_t lead_ = 0;
  DataLayout layout_ = DataLayout::kNone;
  uint8_t headerLength_ = 0;
  uint8_t headerFilled_ = 0;
  uint8_t header_[kHeaderCapacity] = {};
  uint32_t remaining_ = 0;
  uint8_t characterHeight_ = 0;
  uint32_t charactersLeft_ = 0;
};

}  // namespace tavrik
