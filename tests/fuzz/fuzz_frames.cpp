// Cut detection must not depend on how the sources split the stream. The
// input is a chunking pattern and a byte stream; the assembler is fed the
// stream in those chunks, a plain model is fed it whole, and both must give
// the same frames and the same unfinished frame.
//
// Input layout: byte 0 = n, the next n bytes are chunk lengths (0 is an empty
// chunk, which must change nothing), used round and round; the rest is the
// stream. n = 0 feeds the stream as one chunk.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "frames/FrameAssembler.h"
#include "frames/MultipartPart.h"
#include "frames/PartSink.h"
#include "FuzzInput.h"

namespace {

using tavrik::fuzz::Chunks;
using tavrik::fuzz::Require;

// Keeps the body of every part, after checking the part's frame around it.
class FrameSink : public tavrik::PartSink {
 public:
  void Broadcast(const tavrik::Payload& part) override {
    const std::string head = std::string(tavrik::kPlainTextType) + "\r\n\r\n";
    const std::string tail = "\r\n--" + std::string(tavrik::kMultipartBoundary) + "\r\n";
    const std::string_view bytes = part.View();
    Require(part && bytes.size() >= head.size() + tail.size());
    Require(bytes.substr(0, head.size()) == head);
    Require(bytes.substr(bytes.size() - tail.size()) == tail);
    frames.emplace_back(bytes.substr(head.size(), bytes.size() - head.size() - tail.size()));
  }
  std::vector<std::string> frames;
};

struct Model {
  std::vector<std::string> frames;
  std::string rest;
};

// Left to right: a frame ends right behind every ESC "i" and GS "V".
Model Reference(std::string_view stream) {
  Model model;
  for (size_t i = 0; i < stream.size(); ++i) {
    model.rest += stream[i];
    const size_t n = model.rest.size();
    if (n >= 2 && ((model.rest[n - 2] == 27 && model.rest[n - 1] == 'i') ||
                   (model.rest[n - 2] == 29 && model.rest[n - 1] == 'V'))) {
      model.frames.push_back(model.rest);
      model.rest.clear();
    }
  }
  return model;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const auto [pattern, stream] = tavrik::fuzz::ReadSplitInput(data, size);

  FrameSink cutSink;
  FrameSink plainSink;
  tavrik::FrameAssembler cutting(true, false, cutSink);
  tavrik::FrameAssembler plain(false, false, plainSink);
  for (const std::string_view chunk : Chunks(stream, pattern)) {
    cutting.Append(chunk);
    plain.Append(chunk);
  }

  const Model expected = Reference(stream);
  Require(cutSink.frames == expected.frames);
  Require(cutting.Frame() == expected.rest);

  // Without cut detection the commands are ordinary bytes.
  Require(plainSink.frames.empty());
  Require(plain.Frame() == stream);

  // The unfinished frame is what a timeout would send.
  cutting.SendFrame();
  Require(cutting.Length() == 0);
  if (!expected.rest.empty()) Require(cutSink.frames.back() == expected.rest);
  return 0;
}
