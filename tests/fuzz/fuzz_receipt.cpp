// The receipt decoder on any bytes, cut into frames: the text is valid UTF-8,
// within ReceiptDecoder::MaxTextSize of each frame, and the same however the
// stream is cut into frames.
//
// Input layout: byte 0 = n, the next n bytes are frame lengths, used round
// and round; the rest is the stream. n = 0 decodes the stream as one frame.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "receipt/ReceiptDecoder.h"
#include "FuzzInput.h"

namespace {

using tavrik::fuzz::Chunks;
using tavrik::fuzz::Require;

void RequireUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<uint8_t>(text[i]);
    const size_t length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : 0;
    Require(length > 0 && i + length <= text.size());
    Require(length != 2 || lead >= 0xC2);
    for (size_t k = 1; k < length; ++k) Require((static_cast<uint8_t>(text[i + k]) & 0xC0) == 0x80);
    if (length == 3) {  // no overlong forms, no surrogates
      const auto second = static_cast<uint8_t>(text[i + 1]);
      Require(lead != 0xE0 || second >= 0xA0);
      Require(lead != 0xED || second < 0xA0);
    }
    i += length;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const auto [pattern, stream] = tavrik::fuzz::ReadSplitInput(data, size);

  tavrik::ReceiptDecoder whole;
  tavrik::ReceiptText wholeText;
  whole.Decode(stream, wholeText);
  RequireUtf8(wholeText.text);
  Require(wholeText.text.size() <= tavrik::ReceiptDecoder::MaxTextSize(stream.size()));

  tavrik::ReceiptDecoder split;
  tavrik::ReceiptText frameText;
  std::string joined;
  bool cut = false;
  for (const std::string_view frame : Chunks(stream, pattern)) {
    split.Decode(frame, frameText);
    RequireUtf8(frameText.text);
    Require(frameText.text.size() <= tavrik::ReceiptDecoder::MaxTextSize(frame.size()));
    joined += frameText.text;
    cut = cut || frameText.cut;
  }
  Require(cut == wholeText.cut);
  Require(joined == wholeText.text);
  return 0;
}
