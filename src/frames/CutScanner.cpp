#include "frames/CutScanner.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "escpos/CommandLengths.h"
#include "escpos/ControlBytes.h"

namespace tavrik {
namespace {

bool IsLead(uint8_t byte) { return byte == kEsc || byte == kGs || byte == kFs; }

using Bytes = uint8_t __attribute__((vector_size(16)));
using Halves = uint64_t __attribute__((vector_size(16)));

// The lead bytes among 16 at `from`, as 0xFF bytes. ESC, FS and GS are 1B,
// 1C and 1D, so one unsigned compare finds all three.
Halves Leads(std::string_view chunk, size_t from) {
  Bytes block;
  std::memcpy(&block, chunk.data() + from, sizeof block);
  return std::bit_cast<Halves>(static_cast<Bytes>(block - kEsc) < 3);
}

// The offset of the first lead byte in a block that holds one (little-endian
// targets only, which is all we build for).
size_t FirstLead(Halves hits) {
  return hits[0] != 0 ? static_cast<size_t>(std::countr_zero(hits[0])) / 8
                      : 8 + static_cast<size_t>(std::countr_zero(hits[1])) / 8;
}

// The first byte from `at` on that can begin a command. Receipt text is
// tested 32 bytes at a time with vector compares (GCC's vector extensions,
// on every target we build for): this scan runs over every byte relayed.
size_t SkipText(std::string_view chunk, size_t at) {
  constexpr size_t kBlock = sizeof(Bytes);
  for (; at + 2 * kBlock <= chunk.size(); at += 2 * kBlock) {
    const Halves first = Leads(chunk, at);
    const Halves second = Leads(chunk, at + kBlock);
    const Halves both = first | second;
    if ((both[0] | both[1]) == 0) continue;
    return (first[0] | first[1]) != 0 ? at + FirstLead(first) : at + kBlock + FirstLead(second);
  }
  while (at < chunk.size() && !IsLead(static_cast<uint8_t>(chunk[at]))) ++at;
  return at;
}

}  // namespace

size_t CutScanner::NextFrameEnd(std::string_view chunk, size_t from) {
  size_t at = from;
  while (at < chunk.size()) {
    switch (state_) {
      case State::kText:
        at = SkipText(chunk, at);
        if (at == chunk.size()) return std::string_view::npos;
        lead_ = static_cast<uint8_t>(chunk[at++]);
        state_ = State::kLead;
        break;
      case State::kData:
      case State::kDataToNul:
        SkipData(chunk, at);
        break;
      default:
        switch (StepCommand(static_cast<uint8_t>(chunk[at]))) {
          case Step::kTaken: ++at; break;
          case Step::kCutBehind: return at + 1;
          case Step::kCutBefore: return at;
          case Step::kNotTaken: break;  // the byte may begin a command itself
        }
    }
  }
  return std::string_view::npos;
}

void CutScanner::ForgetHeader() {
  switch (state_) {
    case State::kData:
    case State::kDataToNul:
    case State::kCharacterWidth:
      return;
    default:
      state_ = State::kText;
  }
}

CutScanner::Step CutScanner::StepCommand(uint8_t byte) {
  switch (state_) {
    case State::kLead: {
      const DataCommand command = FindDataCommand(lead_, byte);
      layout_ = command.layout;
      headerLength_ = command.headerLength;
      headerFilled_ = 0;
      switch (layout_) {
        case DataLayout::kNone:
          state_ = State::kText;
          return Step::kNotTaken;
        case DataLayout::kPartialCut:
          state_ = State::kText;
          return Step::kCutBehind;
        case DataLayout::kCut:
          state_ = State::kCutMode;
          return Step::kTaken;
        default:
          state_ = State::kHeader;
          return Step::kTaken;
      }
    }
    case State::kHeader:
      header_[headerFilled_++] = byte;
      if (headerFilled_ == headerLength_) StartData();
      return Step::kTaken;
    case State::kCutMode:
      if (CutTakesFeed(byte)) {
        state_ = State::kCutFeed;
        return Step::kTaken;
      }
      state_ = State::kText;
      return CutsAtOnce(byte) ? Step::kCutBehind : Step::kCutBefore;
    case State::kCutFeed:
      state_ = State::kText;
      return Step::kCutBehind;
    case State::kCount:
      remaining_ = byte;
      state_ = remaining_ == 0 ? State::kText : State::kData;
      return Step::kTaken;
    case State::kCharacterWidth:
      // A width beyond the bound is a corrupt stream: the definition ends.
      if (byte > kMaxCharacterWidth) {
        state_ = State::kText;
        return Step::kTaken;
      }
      --charactersLeft_;
      remaining_ = uint32_t{characterHeight_} * byte;
      if (remaining_ == 0)
        EndData();
      else
        state_ = State::kData;
      return Step::kTaken;
    default:
      return Step::kNotTaken;
  }
}

// The header is complete: what follows is data, or, for an implausible
// header, text again (the header's bytes are taken all the same).
void CutScanner::StartData() {
  state_ = State::kText;
  switch (layout_) {
    case DataLayout::kBarcode: {
      const uint8_t m = header_[0];
      if (IsNulEndedBarcode(m)) {
        remaining_ = kMaxNulEndedBarcode;
        state_ = State::kDataToNul;
      } else if (IsCountedBarcode(m)) {
        state_ = State::kCount;
      }
      return;
    }
    case DataLayout::kUserCharacters: {
      const uint8_t height = header_[0];
      const uint8_t first = header_[1];
      const uint8_t last = header_[2];
      if (height == 0 || height > kMaxCharacterHeight || first < 32 || last > 126 || first > last) return;
      characterHeight_ = height;
      charactersLeft_ = uint32_t{last} - first + 1;
      state_ = State::kCharacterWidth;
      return;
    }
    default: {
      const std::optional<uint32_t> length = CountedDataLength(layout_, header_);
      if (!length || *length == 0) return;
      remaining_ = *length;
      state_ = State::kData;
    }
  }
}

void CutScanner::EndData() {
  state_ = layout_ == DataLayout::kUserCharacters && charactersLeft_ > 0 ? State::kCharacterWidth
                                                                          : State::kText;
}

void CutScanner::SkipData(std::string_view chunk, size_t& at) {
  const size_t available = std::min<size_t>(remaining_, chunk.size() - at);
  if (state_ == State::kDataToNul) {
    const void* nul = std::memchr(chunk.data() + at, kNul, available);
    if (nul) {
      at = static_cast<size_t>(static_cast<const char*>(nul) - chunk.data()) + 1;
      state_ = State::kText;
      return;
    }
  }
  at += available;
  remaining_ -= static_cast<uint32_t>(available);
  if (remaining_ == 0) EndData();
}

}  // namespace tavrik
