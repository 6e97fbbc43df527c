// The receipt decoder on any bytes, cut into frames:
// - the text is valid UTF-8 and within ReceiptDecoder::MaxTextSize of each frame;
// - where frames end matters only behind a cut command, where the decoder
//   ends a receipt: the text and the facts of any split are those of the
//   stream cut only there;
// - the stream as garbage in front of a receipt costs nothing of it, if the
//   garbage ends in a cut (its own receipt), or is followed by
//   kMaxCommandBytes bytes without one (the longest command ends inside
//   them); either way then ESC @ and LF, which bring back the code page and
//   the start of a line. The second form costs 2 MiB of text, so only short
//   garbage, one input in sixteen (by size), is checked that way.
//
// Input layout: byte 0 = n, the next n bytes are frame lengths, used round
// and round; the rest is the stream. n = 0 decodes the stream as one frame.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "receipt/ReceiptDecoder.h"
#include "FuzzInput.h"

namespace {

using tavrik::ReceiptDecoder;
using tavrik::ReceiptText;
using tavrik::fuzz::Chunks;
using tavrik::fuzz::Require;
using namespace std::string_literals;

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

// Everything decoded from a run of frames, each kind of fact in stream order.
struct Decoded {
  std::string text;
  bool cut = false;
  std::string pulses;
  std::string codes;
  std::string rasters;

  void Add(const ReceiptText& frame) {
    text += frame.text;
    cut = cut || frame.cut;
    const tavrik::ReceiptFacts& facts = frame.facts;
    Require(facts.visibleText == (frame.text.find_first_not_of('\n') != std::string::npos));
    for (const tavrik::DrawerPulse& pulse : facts.drawerPulses)
      pulses += std::to_string(pulse.pin) + ' ' + std::to_string(pulse.onMs) + ' ' + std::to_string(pulse.offMs) + ';';
    for (const tavrik::Code& code : facts.codes) {
      Require(code.dataSize > 0 && code.dataSize <= ReceiptDecoder::kMaxCodeData);
      codes += std::string(tavrik::SymbologyName(code.symbology)) + ' ' + std::string(facts.DataOf(code)) + ';';
    }
    for (const tavrik::Raster& raster : facts.rasters) {
      Require(raster.widthDots <= ReceiptDecoder::kMaxRasterWidth && raster.heightDots <= ReceiptDecoder::kMaxRasterHeight);
      Require(raster.dataSize <= ReceiptDecoder::kMaxBlockBytes);
      rasters += std::to_string(raster.widthDots) + 'x' + std::to_string(raster.heightDots) + ' ' +
                 std::string(facts.BitsOf(raster)) + ';';
    }
  }
  bool operator==(const Decoded&) const = default;
};

Decoded DecodeFrames(ReceiptDecoder& decoder, const std::vector<std::string_view>& frames) {
  Decoded decoded;
  ReceiptText out;
  for (const std::string_view frame : frames) {
    decoder.Decode(frame, out);
    RequireUtf8(out.text);
    Require(out.text.size() <= ReceiptDecoder::MaxTextSize(frame.size()));
    decoded.Add(out);
  }
  return decoded;
}

// The stream cut only where a split ended in a cut, and at its end.
std::vector<std::string_view> CutOnlyBehindCuts(std::string_view stream, const std::vector<std::string_view>& split) {
  std::vector<std::string_view> frames;
  size_t start = 0;
  size_t end = 0;
  for (const std::string_view chunk : split) {
    end += chunk.size();
    if (end == stream.size() || ReceiptDecoder::CutTailLength(stream.substr(0, end)) > 0) {
      frames.push_back(stream.substr(start, end - start));
      start = end;
    }
  }
  if (frames.empty()) frames.push_back(stream);
  return frames;
}

// A receipt with every kind of fact, in CP858.
const std::string kReceipt =
    "\x1b@\x1bt\x13" "Caf\x82\tTOTAL 9.99 \xd5\n\x1dv0\x00\x01\x00\x02\x00\x81\x42"
    "\x1dkI\x06{BR-42\x1d(k\x06\x00" "1P0abc\x1bp\x00\x32\xfa  ok\n\x1dV\x42\x00"s;

void RequireReceiptUnharmed(ReceiptDecoder& decoder) {
  ReceiptDecoder fresh;
  Require(DecodeFrames(decoder, {kReceipt}) == DecodeFrames(fresh, {kReceipt}));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const auto [pattern, stream] = tavrik::fuzz::ReadSplitInput(data, size);
  const std::vector<std::string_view> split = Chunks(stream, pattern);

  ReceiptDecoder whole;
  DecodeFrames(whole, {stream});
  ReceiptDecoder splitDecoder;
  ReceiptDecoder cutDecoder;
  Require(DecodeFrames(splitDecoder, split) == DecodeFrames(cutDecoder, CutOnlyBehindCuts(stream, split)));

  ReceiptDecoder ended;
  DecodeFrames(ended, {stream, "\x1dV\x00"s, "\x1b@\n"});
  RequireReceiptUnharmed(ended);

  if (stream.size() <= 64 && size % 16 == 0) {
    static const std::string filler(ReceiptDecoder::kMaxCommandBytes, 'x');
    ReceiptDecoder overrun;
    DecodeFrames(overrun, {stream, filler, "\x1b@\n"});
    RequireReceiptUnharmed(overrun);
  }
  return 0;
}
