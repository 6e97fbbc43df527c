// Cut detection must not depend on how the sources split the stream. The
// input is a chunking pattern and a byte stream; the assembler is fed the
// stream in those chunks, a plain model of the rules (cuts end behind their
// last byte, the data of images, codes and counted blocks is stepped over)
// reads it whole, and both must give the same frames and unfinished frame.
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

constexpr uint8_t kEsc = 0x1b;
constexpr uint8_t kFs = 0x1c;
constexpr uint8_t kGs = 0x1d;

// The rules, read off the whole stream with look-ahead. A command that the
// stream ends inside leaves the rest unfinished.
class Reference {
 public:
  explicit Reference(std::string_view stream) : s_(stream) {}

  Model Frames() {
    while (at_ < s_.size()) {
      const uint8_t lead = Byte(at_);
      if ((lead != kEsc && lead != kGs && lead != kFs) || at_ + 1 >= s_.size()) {
        ++at_;
        continue;
      }
      const uint8_t function = Byte(at_ + 1);
      if (lead == kEsc && function == 'i') {
        Cut(at_ + 2);
      } else if (lead == kGs && function == 'V') {
        CutCommand();
      } else {
        // The lead alone passes; the function byte may begin a command.
        const size_t end = DataCommandEnd(lead, function);
        at_ = end == 0 ? at_ + 1 : end;
      }
    }
    model_.rest = std::string(s_.substr(frameStart_));
    return model_;
  }

 private:
  uint8_t Byte(size_t i) const { return static_cast<uint8_t>(s_[i]); }
  uint32_t Word(size_t i) const { return Byte(i) + 256u * Byte(i + 1); }
  bool Has(size_t end) const { return end <= s_.size(); }

  void Cut(size_t end) {
    model_.frames.emplace_back(s_.substr(frameStart_, end - frameStart_));
    frameStart_ = at_ = end;
  }

  void CutCommand() {
    if (!Has(at_ + 3)) {
      at_ = s_.size();
      return;
    }
    const uint8_t m = Byte(at_ + 2);
    if (m == 0 || m == 1 || m == 48 || m == 49) return Cut(at_ + 3);
    if (m == 65 || m == 66 || m == 97 || m == 98 || m == 103 || m == 104) {
      if (Has(at_ + 4)) return Cut(at_ + 4);
      at_ = s_.size();
      return;
    }
    Cut(at_ + 2);
  }

  // Where a data command that begins at at_ ends, as far as the stream goes;
  // 0 when the two bytes begin none. An implausible header ends behind itself.
  size_t DataCommandEnd(uint8_t lead, uint8_t function) const {
    const size_t h = at_ + 2;  // the header
    const auto counted = [&](size_t headerLength, uint64_t length, bool plausible) {
      return std::min<uint64_t>(s_.size(), h + headerLength + (plausible ? length : 0));
    };
    const auto header = [&](size_t length) { return Has(h + length); };
    if (lead == kEsc && function == '*') {
      if (!header(3)) return s_.size();
      const uint8_t m = Byte(h);
      const uint32_t n = Word(h + 1);
      const bool plausible = (m == 0 || m == 1 || m == 32 || m == 33) && n <= 4096;
      return counted(3, m >= 32 ? 3 * n : n, plausible);
    }
    if (lead == kEsc && function == '&') return UserCharactersEnd(h);
    if (lead == kGs && function == 'v') {
      if (!header(6)) return s_.size();
      const uint8_t m = Byte(h + 1);
      const uint64_t length = uint64_t{Word(h + 2)} * Word(h + 4);
      const bool plausible = Byte(h) == '0' && (m <= 3 || (m >= '0' && m <= '3')) &&
                             Word(h + 2) <= 512 && length <= (4u << 20);
      return counted(6, length, plausible);
    }
    if (lead == kGs && function == '*') {
      if (!header(2)) return s_.size();
      return counted(2, uint64_t{Byte(h)} * Byte(h + 1) * 8, true);
    }
    if ((lead == kGs || lead == kFs) && function == '(') {
      if (!header(3)) return s_.size();
      return counted(3, Word(h + 1), true);
    }
    if (lead == kGs && function == '8') {
      if (!header(5)) return s_.size();
      const uint64_t length = Word(h + 1) + 65536ull * Word(h + 3);
      return counted(5, length, Byte(h) == 'L' && length <= (4u << 20));
    }
    if (lead == kGs && function == 'k') {
      if (!header(1)) return s_.size();
      const uint8_t m = Byte(h);
      if (m <= 6) {
        const size_t nul = s_.find('\0', h + 1);
        const size_t bounded = std::min<size_t>(h + 1 + 255, s_.size());
        return nul != std::string_view::npos && nul < bounded ? nul + 1 : bounded;
      }
      if (m < 65 || m > 79) return h + 1;
      if (!header(2)) return s_.size();
      return counted(2, Byte(h + 1), true);
    }
    return 0;
  }

  size_t UserCharactersEnd(size_t h) const {
    if (!Has(h + 3)) return s_.size();
    const uint8_t y = Byte(h);
    const uint8_t first = Byte(h + 1);
    const uint8_t last = Byte(h + 2);
    size_t end = h + 3;
    if (y == 0 || y > 8 || first < 32 || last > 126 || first > last) return end;
    for (int c = first; c <= last; ++c) {
      if (!Has(end + 1)) return s_.size();
      const uint8_t x = Byte(end++);
      if (x > 64) return end;
      end += size_t{y} * x;
      if (!Has(end)) return s_.size();
    }
    return end;
  }

  std::string_view s_;
  size_t at_ = 0;
  size_t frameStart_ = 0;
  Model model_;
};

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

  const Model expected = Reference(stream).Frames();
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
