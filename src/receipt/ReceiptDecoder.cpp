#include "receipt/ReceiptDecoder.h"

#include <algorithm>
#include <cstring>

#include "escpos/CommandLengths.h"

namespace tavrik {

namespace {

// "ESC D": at most 32 tab positions before the NUL.
constexpr uint64_t kMaxTabPositions = 32;
// "ESC &": y = 3 bytes (24 dots) per column on 12 x 24 fonts, x <= 12
// columns; twice that is still a character, more is a corrupt header.
constexpr uint8_t kMaxCharacterBytes = 4;
constexpr uint8_t kMaxCharacterWidth = 48;

bool IsPrintableAscii(char c) { return static_cast<uint8_t>(static_cast<uint8_t>(c) - 0x20) < 0x5F; }

// "GS ( k" cn: the 2-D codes whose data fn 80 stores.
bool TwoDimensionalCode(uint8_t cn, Symbology& symbology) {
  switch (cn) {
    case 48: symbology = Symbology::Pdf417; return true;
    case 49: symbology = Symbology::QrCode; return true;
    case 54: symbology = Symbology::DataMatrix; return true;
    default: return false;
  }
}

// The graphics' bx by as the scale of GS v 0 m (see RasterScale): 0 normal,
// 1 double width, 2 double height, 3 both.
uint8_t GraphicsScale(uint8_t bx, uint8_t by) {
  if (bx < 1 || bx > 2 || by < 1 || by > 2) return kNoScale;
  return static_cast<uint8_t>((bx - 1) | (by - 1) << 1);
}

}  // namespace

void ReceiptDecoder::Decode(std::string_view frame, ReceiptText& out) {
  out.text.clear();
  out.cut = false;
  out.facts.Clear();
  DecodeBytes(frame, out);
  KeepTail(frame);
  if (state_ != State::Text) {
    if (const size_t cut = CutTailLength({tail_.data(), tailSize_}); cut > 0) {
      DropCommand();
      DecodeBytes({tail_.data() + tailSize_ - cut, cut}, out);
    }
  }
  out.facts.visibleText = out.text.find_first_not_of('\n') != std::string::npos;
}

size_t ReceiptDecoder::CutTailLength(std::string_view bytes) {
  const size_t size = bytes.size();
  const auto back = [&](size_t k) { return static_cast<uint8_t>(bytes[size - k]); };
  if (size >= 4 && back(4) == kGs && back(3) == kGsCut && CutTakesFeed(back(2))) return 4;
  if (size >= 3 && back(3) == kGs && back(2) == kGsCut && CutsAtOnce(back(1))) return 3;
  if (size >= 2 && back(2) == kEsc && (back(1) == kEscPartialCut || back(1) == kEscPartialCutThree)) return 2;
  return 0;
}

void ReceiptDecoder::DecodeBytes(std::string_view bytes, ReceiptText& out) {
  size_t at = 0;
  while (at < bytes.size()) {
    switch (state_) {
      case State::Text: at = DecodeText(bytes, at, out); break;
      case State::Function: at = ReadFunction(static_cast<uint8_t>(bytes[at]), at, out); break;
      case State::Params: at = ReadParams(bytes, at, out.facts); break;
      case State::Skip: at = SkipData(bytes, at, out.facts); break;
      case State::SkipToNul: at = SkipToNul(bytes, at, out.facts); break;
    }
  }
}

size_t ReceiptDecoder::DecodeText(std::string_view frame, size_t at, ReceiptText& out) {
  while (at < frame.size()) {
    if (IsPrintableAscii(frame[at])) {
      size_t end = at + 1;
      while (end < frame.size() && IsPrintableAscii(frame[end])) ++end;
      layout_.AppendAscii(frame.substr(at, end - at), out.text);
      at = end;
      continue;
    }
    const auto byte = static_cast<uint8_t>(frame[at++]);
    if (byte >= 0x80) {
      layout_.AppendCodePoint((*codePage_)[byte - 0x80u], out.text);
      continue;
    }
    switch (byte) {
      case kLf:
      case kFf:
        layout_.EndLine(out.text);
        break;
      case kHt:
        layout_.Tab();
        break;
      case kDle:
      case kEsc:
      case kFs:
      case kGs:
        prefix_ = byte;
        state_ = State::Function;
        return at;
      default:  // CR (CR LF is one line end), DEL and the other control bytes
        break;
    }
  }
  return at;
}

size_t ReceiptDecoder::ReadFunction(uint8_t function, size_t at, ReceiptText& out) {
  const Command& command = FindCommand(prefix_, function);
  if (command.syntax == Syntax::Unknown && prefix_ == kDle) {
    // DLE starts only the real-time commands; the byte behind it is its own.
    state_ = State::Text;
    return at;
  }
  command_ = &command;
  if (command.effect == Effect::CutPaper) {
    layout_.EndLineIfOpen(out.text);
    out.cut = true;
  } else if (command.effect == Effect::Initialize) {
    codePage_ = &DefaultCodePage();
  }
  paramsRead_ = 0;
  paramsWanted_ = command.params;
  if (paramsWanted_ == 0) {
    CompleteParams(out.facts);
  } else {
    state_ = State::Params;
  }
  return at + 1;
}

size_t ReceiptDecoder::ReadParams(std::string_view frame, size_t at, ReceiptFacts& facts) {
  while (at < frame.size() && state_ == State::Params) {
    // Only the first bytes matter to any command; the rest are counted.
    if (paramsRead_ < kMaxParams) params_[paramsRead_] = static_cast<uint8_t>(frame[at]);
    ++paramsRead_;
    ++at;
    if (paramsRead_ == paramsWanted_) CompleteParams(facts);
  }
  return at;
}

size_t ReceiptDecoder::SkipData(std::string_view frame, size_t at, ReceiptFacts& facts) {
  const auto taken = static_cast<size_t>(std::min<uint64_t>(skipLeft_, frame.size() - at));
  Keep(frame.substr(at, taken));
  skipLeft_ -= taken;
  if (skipLeft_ == 0) EndData(facts);
  return at + taken;
}

size_t ReceiptDecoder::SkipToNul(std::string_view frame, size_t at, ReceiptFacts& facts) {
  const auto window = static_cast<size_t>(std::min<uint64_t>(skipLeft_, frame.size() - at));
  if (const void* nul = std::memchr(frame.data() + at, kNul, window)) {
    const auto end = static_cast<size_t>(static_cast<const char*>(nul) - frame.data());
    Keep(frame.substr(at, end - at));
    EndData(facts);
    return end + 1;
  }
  Keep(frame.substr(at, window));
  skipLeft_ -= window;
  if (skipLeft_ == 0) DropCommand();  // no NUL within the bound: no code either
  return at + window;
}

void ReceiptDecoder::WantParams(size_t count) {
  paramsWanted_ = count;
  state_ = State::Params;
}

// Called when paramsWanted_ bytes are in: either the command is done, or its
// parameters say how much more follows. A return with nothing started drops
// the command: its header is all it takes.
void ReceiptDecoder::CompleteParams(ReceiptFacts& facts) {
  const std::array<uint8_t, kMaxParams>& p = params_;
  state_ = State::Text;
  switch (command_->syntax) {
    case Syntax::Unknown:
    case Syntax::Fixed:
      if (command_->effect == Effect::SelectCodePage) SelectCodePage(p[0]);
      if (command_->effect == Effect::PulseDrawer) PulseDrawer(p[0], 2u * p[1], 2u * p[2], facts);
      return;
    case Syntax::Counted16:
      CompleteBlock(Word(p[1], p[2]), facts);
      return;
    case Syntax::Counted32:
      if (const uint64_t length = Word(p[1], p[2]) | Word(p[3], p[4]) << 16; length <= kMaxBlockBytes)
        CompleteBlock(length, facts);
      return;
    case Syntax::BitImage: {
      const uint8_t columnBytes = BitImageColumnBytes(p[0]);
      const uint32_t columns = Word(p[1], p[2]);
      if (columnBytes > 0 && columns <= kMaxRasterWidth)
        StartImage(RasterKind::BitImage, p[0], columns, 8u * columnBytes, uint64_t{columns} * columnBytes, facts);
      return;
    }
    case Syntax::RasterImage: {
      const uint64_t rowBytes = Word(p[2], p[3]);
      const uint64_t rows = Word(p[4], p[5]);
      const uint8_t scale = RasterScale(p[1]);
      if (p[0] == '0' && scale != kNoScale && 8 * rowBytes <= kMaxRasterWidth && rows <= kMaxRasterHeight &&
          rowBytes * rows <= kMaxBlockBytes)
        StartImage(RasterKind::RasterImage, scale, static_cast<uint32_t>(8 * rowBytes), static_cast<uint32_t>(rows),
                   rowBytes * rows, facts);
      return;
    }
    case Syntax::DownloadedImage:
      StartImage(RasterKind::DownloadedImage, 0, 8u * p[0], 8u * p[1], uint64_t{p[0]} * p[1] * 8, facts);
      return;
    case Syntax::Barcode:
      CompleteBarcode(facts);
      return;
    case Syntax::Cut:
      if (paramsRead_ == 1 && CutTakesFeed(p[0])) WantParams(2);
      return;
    case Syntax::RealTimeStatus:
      if (paramsRead_ == 1 && (p[0] == 7 || p[0] == 8)) WantParams(2);
      return;
    case Syntax::RealTimeRequest:
      if (paramsRead_ == 1 && RealTimeRequestBytes(p[0]) > 0) {
        WantParams(1 + RealTimeRequestBytes(p[0]));
      } else if (paramsRead_ > 1 && p[0] == 1) {  // fn 1 m t: pulse t x 100 ms on, as long off
        PulseDrawer(p[1], 100u * p[2], 100u * p[2], facts);
      }
      return;
    case Syntax::UserCharacters:
      CompleteUserCharacters(facts);
      return;
    case Syntax::TabPositions:
      skipLeft_ = kMaxTabPositions + 1;
      state_ = State::SkipToNul;
      return;
  }
}

// GS ( X pL pH and GS 8 L p1-p4 (ESC ( and FS ( too): a block of length
// bytes. The first ones of GS ( k and of graphics say whether it holds a 2-D
// code's data or an image, so those are read as parameters before deciding.
void ReceiptDecoder::CompleteBlock(uint64_t length, ReceiptFacts& facts) {
  const std::array<uint8_t, kMaxParams>& p = params_;
  const size_t header = command_->params;
  const bool codes = prefix_ == kGs && p[0] == kBlockCodes;
  const bool graphics = prefix_ == kGs && p[0] == kBlockGraphics;
  if (paramsRead_ == header && ((codes && length >= 3) || (graphics && length >= 10))) {
    WantParams(header + (codes ? 3 : 10));  // cn fn m, or m fn a bx by c xL xH yL yH
    return;
  }
  const uint64_t data = length - (paramsRead_ - header);
  Symbology symbology{};
  if (codes && paramsRead_ > header && p[header + 1] == 80 && TwoDimensionalCode(p[header], symbology)) {
    StartCode(symbology, data, facts);
    return;
  }
  if (graphics && paramsRead_ > header && p[header + 1] == 112 && p[header + 2] == 48) {  // raster into the buffer
    const uint64_t width = Word(p[header + 6], p[header + 7]);
    const uint64_t height = Word(p[header + 8], p[header + 9]);
    const uint8_t scale = GraphicsScale(p[header + 3], p[header + 4]);
    if (width > kMaxRasterWidth || height > kMaxRasterHeight || scale == kNoScale) return;
    if ((width + 7) / 8 * height == data) {
      StartImage(RasterKind::Graphics, scale, static_cast<uint32_t>(width), static_cast<uint32_t>(height), data, facts);
      return;
    }
  }
  StartSkip(data, facts);
}

// GS k m: data up to NUL (m = 0-6) or n and n bytes (m = 65-79), in the
// order of Symbology.
void ReceiptDecoder::CompleteBarcode(ReceiptFacts& facts) {
  const uint8_t m = params_[0];
  if (paramsRead_ == 2) {
    StartCode(static_cast<Symbology>(m - 65), params_[1], facts);
  } else if (IsNulEndedBarcode(m)) {
    payload_ = Payload::Code;
    code_ = Code{static_cast<Symbology>(m), 0, 0, false};
    payloadData_.clear();
    skipLeft_ = kMaxNulEndedBarcode + 1;  // without a bound a lost NUL would swallow the receipt
    state_ = State::SkipToNul;
  } else if (IsCountedBarcode(m)) {
    WantParams(2);
  }
}

// ESC & y c1 c2, then for each character x and y * x bytes.
void ReceiptDecoder::CompleteUserCharacters(ReceiptFacts& facts) {
  const std::array<uint8_t, kMaxParams>& p = params_;
  if (paramsRead_ == 3) {
    if (p[0] > kMaxCharacterBytes || p[1] < 0x20 || p[2] > 0x7E) return;
    charactersLeft_ = p[1] <= p[2] ? p[2] - p[1] + 1u : 0u;
    EndData(facts);
  } else if (p[3] <= kMaxCharacterWidth) {
    --charactersLeft_;
    StartSkip(uint64_t{p[0]} * p[3], facts);
  }
}

void ReceiptDecoder::PulseDrawer(uint8_t m, uint32_t onMs, uint32_t offMs, ReceiptFacts& facts) {
  if (m == 0 || m == 48) {
    facts.drawerPulses.push_back({2, onMs, offMs});
  } else if (m == 1 || m == 49) {
    facts.drawerPulses.push_back({5, onMs, offMs});
  }
}

void ReceiptDecoder::StartImage(RasterKind kind, uint8_t mode, uint32_t width, uint32_t height, uint64_t bytes,
                                ReceiptFacts& facts) {
  if (width > 0 && height > 0) {
    payload_ = Payload::Raster;
    raster_ = Raster{kind, mode, width, height, 0, 0};
    payloadData_.clear();
  }
  StartSkip(bytes, facts);
}

void ReceiptDecoder::StartCode(Symbology symbology, uint64_t bytes, ReceiptFacts& facts) {
  payload_ = Payload::Code;
  code_ = Code{symbology, 0, 0, bytes > kMaxCodeData};
  payloadData_.clear();
  StartSkip(bytes, facts);
}

void ReceiptDecoder::StartSkip(uint64_t count, ReceiptFacts& facts) {
  skipLeft_ = count;
  if (count == 0) {
    EndData(facts);
  } else {
    state_ = State::Skip;
  }
}

void ReceiptDecoder::Keep(std::string_view data) {
  if (payload_ == Payload::None) return;
  // An image's size is bounded by its header; a code's data here.
  const size_t room = payload_ == Payload::Code ? kMaxCodeData - payloadData_.size() : data.size();
  payloadData_.append(data.data(), std::min(room, data.size()));
}

// ESC & goes on with the next character's width byte; everything else is
// done, and a code or image that has data is reported.
void ReceiptDecoder::EndData(ReceiptFacts& facts) {
  if (command_->syntax == Syntax::UserCharacters && charactersLeft_ > 0) {
    paramsRead_ = 3;
    WantParams(4);
    return;
  }
  state_ = State::Text;
  if (payload_ != Payload::None && !payloadData_.empty()) {
    const size_t offset = facts.data.size();
    facts.data += payloadData_;
    if (payload_ == Payload::Code) {
      code_.dataOffset = offset;
      code_.dataSize = payloadData_.size();
      facts.codes.push_back(code_);
    } else {
      raster_.dataOffset = offset;
      raster_.dataSize = payloadData_.size();
      facts.rasters.push_back(raster_);
    }
  }
  payload_ = Payload::None;
}

void ReceiptDecoder::DropCommand() {
  state_ = State::Text;
  payload_ = Payload::None;
}

void ReceiptDecoder::KeepTail(std::string_view frame) {
  if (frame.size() >= tail_.size()) {
    std::memcpy(tail_.data(), frame.data() + frame.size() - tail_.size(), tail_.size());
    tailSize_ = tail_.size();
    return;
  }
  const size_t kept = std::min(tailSize_, tail_.size() - frame.size());
  std::memmove(tail_.data(), tail_.data() + tailSize_ - kept, kept);
  std::memcpy(tail_.data() + kept, frame.data(), frame.size());
  tailSize_ = kept + frame.size();
}

void ReceiptDecoder::SelectCodePage(uint8_t number) {
  // A number without a table falls back to CP437 rather than keeping the
  // page before it: the text then depends only on this command.
  const CodePage* page = FindCodePage(number);
  codePage_ = page != nullptr ? page : &DefaultCodePage();
}

}  // namespace tavrik
