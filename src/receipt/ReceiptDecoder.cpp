#include "receipt/ReceiptDecoder.h"

#include <algorithm>
#include <cstring>

namespace tavrik {

namespace {

// Bar code data ended by NUL is at most 255 bytes ("GS k": k <= 255 for
// every m = 0-6); without the bound a lost NUL would swallow the receipt.
constexpr uint64_t kMaxBarcodeData = 255;
// "ESC D": at most 32 tab positions before the NUL.
constexpr uint64_t kMaxTabPositions = 32;

bool IsPrintableAscii(char c) { return static_cast<uint8_t>(static_cast<uint8_t>(c) - 0x20) < 0x5F; }

// "GS V": function B, C, D (m = 65, 66, 97, 98, 103, 104) feeds n more.
bool CutTakesFeed(uint8_t m) { return m == 65 || m == 66 || m == 97 || m == 98 || m == 103 || m == 104; }

// "DLE DC4": bytes behind fn for fn = 1 (m t), 2 (a b), 3 (a n r t1 t2),
// 7 (m), 8 (d1...d7); any other fn stands alone.
uint8_t RealTimeRequestBytes(uint8_t fn) {
  switch (fn) {
    case 1: case 2: return 2;
    case 3: return 5;
    case 7: return 1;
    case 8: return 7;
    default: return 0;
  }
}

uint64_t Word(uint8_t low, uint8_t high) { return low + 256u * high; }

}  // namespace

void ReceiptDecoder::Decode(std::string_view frame, ReceiptText& out) {
  out.text.clear();
  out.cut = false;
  size_t at = 0;
  while (at < frame.size()) {
    switch (state_) {
      case State::Text: at = DecodeText(frame, at, out); break;
      case State::Function: at = ReadFunction(static_cast<uint8_t>(frame[at]), at, out); break;
      case State::Params: at = ReadParams(frame, at); break;
      case State::Skip: at = SkipData(frame, at); break;
      case State::SkipToNul: at = SkipToNul(frame, at); break;
    }
  }
}

void ReceiptDecoder::Reset() {
  state_ = State::Text;
  codePage_ = &DefaultCodePage();
  layout_.Reset();
  command_ = nullptr;
  paramsRead_ = 0;
  paramsWanted_ = 0;
  skipLeft_ = 0;
  charactersLeft_ = 0;
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
      case '\n':
      case '\f':
        layout_.EndLine(out.text);
        break;
      case '\t':
        layout_.Tab();
        break;
      case kDle:
      case kEscByte:
      case kFs:
      case kGsByte:
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
    CompleteParams();
  } else {
    state_ = State::Params;
  }
  return at + 1;
}

size_t ReceiptDecoder::ReadParams(std::string_view frame, size_t at) {
  while (at < frame.size() && state_ == State::Params) {
    // Only the first bytes matter to any command; the rest are counted.
    if (paramsRead_ < kMaxParams) params_[paramsRead_] = static_cast<uint8_t>(frame[at]);
    ++paramsRead_;
    ++at;
    if (paramsRead_ == paramsWanted_) CompleteParams();
  }
  return at;
}

size_t ReceiptDecoder::SkipData(std::string_view frame, size_t at) {
  const uint64_t taken = std::min<uint64_t>(skipLeft_, frame.size() - at);
  skipLeft_ -= taken;
  if (skipLeft_ == 0) EndData();
  return at + static_cast<size_t>(taken);
}

size_t ReceiptDecoder::SkipToNul(std::string_view frame, size_t at) {
  const auto window = static_cast<size_t>(std::min<uint64_t>(skipLeft_, frame.size() - at));
  if (const void* nul = std::memchr(frame.data() + at, 0, window)) {
    state_ = State::Text;
    return static_cast<size_t>(static_cast<const char*>(nul) - frame.data()) + 1;
  }
  skipLeft_ -= window;
  if (skipLeft_ == 0) state_ = State::Text;
  return at + window;
}

void ReceiptDecoder::WantParams(size_t count) {
  paramsWanted_ = count;
  state_ = State::Params;
}

// Called when paramsWanted_ bytes are in: either the command is done, or its
// parameters say how much more follows.
void ReceiptDecoder::CompleteParams() {
  const std::array<uint8_t, kMaxParams>& p = params_;
  state_ = State::Text;
  switch (command_->syntax) {
    case Syntax::Unknown:
    case Syntax::Fixed:
      if (command_->effect == Effect::SelectCodePage) SelectCodePage(p[0]);
      return;
    case Syntax::Counted16:
      StartSkip(Word(p[1], p[2]));
      return;
    case Syntax::Counted32:
      StartSkip(Word(p[1], p[2]) | Word(p[3], p[4]) << 16);
      return;
    case Syntax::BitImage:
      StartSkip(Word(p[1], p[2]) * (p[0] == 32 || p[0] == 33 ? 3 : 1));
      return;
    case Syntax::RasterImage:
      StartSkip(Word(p[2], p[3]) * Word(p[4], p[5]));
      return;
    case Syntax::DownloadedImage:
      StartSkip(uint64_t{p[0]} * p[1] * 8);
      return;
    case Syntax::Barcode:
      if (paramsRead_ == 2) {
        StartSkip(p[1]);
      } else if (p[0] <= 6) {
        skipLeft_ = kMaxBarcodeData + 1;
        state_ = State::SkipToNul;
      } else if (p[0] >= 65 && p[0] <= 79) {
        WantParams(2);
      }
      return;
    case Syntax::Cut:
      if (paramsRead_ == 1 && CutTakesFeed(p[0])) WantParams(2);
      return;
    case Syntax::RealTimeStatus:
      if (paramsRead_ == 1 && (p[0] == 7 || p[0] == 8)) WantParams(2);
      return;
    case Syntax::RealTimeRequest:
      if (paramsRead_ == 1 && RealTimeRequestBytes(p[0]) > 0) WantParams(1 + RealTimeRequestBytes(p[0]));
      return;
    case Syntax::UserCharacters:
      if (paramsRead_ == 3) {
        charactersLeft_ = p[1] <= p[2] ? p[2] - p[1] + 1u : 0u;
        EndData();
      } else {  // x, the width of one character
        --charactersLeft_;
        StartSkip(uint64_t{p[0]} * p[3]);
      }
      return;
    case Syntax::TabPositions:
      skipLeft_ = kMaxTabPositions + 1;
      state_ = State::SkipToNul;
      return;
  }
}

void ReceiptDecoder::StartSkip(uint64_t count) {
  skipLeft_ = count;
  if (count == 0) {
    EndData();
  } else {
    state_ = State::Skip;
  }
}

// ESC & goes on with the next character's width byte; everything else is done.
void ReceiptDecoder::EndData() {
  if (command_->syntax == Syntax::UserCharacters && charactersLeft_ > 0) {
    paramsRead_ = 3;
    WantParams(4);
  } else {
    state_ = State::Text;
  }
}

void ReceiptDecoder::SelectCodePage(uint8_t number) {
  // A number without a table falls back to CP437 rather than keeping the
  // page before it: the text then depends only on this command.
  const CodePage* page = FindCodePage(number);
  codePage_ = page != nullptr ? page : &DefaultCodePage();
}

}  // namespace tavrik
