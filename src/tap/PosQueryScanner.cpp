#include "tap/PosQueryScanner.h"

#include <bit>
#include <cstring>

namespace tavrik::tap {

namespace {

bool CanStartQuery(char c) {
  const auto byte = static_cast<uint8_t>(c);
  return byte == kDle || byte == kEsc || byte == kGs;
}

// The first byte from `at` on that can start a query. Text is tested 16
// bytes at a time with vector compares (GCC's vector extensions, on every
// target we build for): byte by byte, this scan took a tenth of the relay's
// time at full speed.
size_t SkipText(std::string_view chunk, size_t at) {
  using Bytes = uint8_t __attribute__((vector_size(16)));
  using Halves = uint64_t __attribute__((vector_size(16)));
  for (; at + sizeof(Bytes) <= chunk.size(); at += sizeof(Bytes)) {
    Bytes block;
    std::memcpy(&block, chunk.data() + at, sizeof block);
    const auto hits = std::bit_cast<Halves>((block == kDle) | (block == kEsc) | (block == kGs));
    if ((hits[0] | hits[1]) != 0) break;
  }
  while (at < chunk.size() && !CanStartQuery(chunk[at])) ++at;
  return at;
}

}  // namespace

std::optional<PosQuery> PosQueryScanner::Next(std::string_view chunk, size_t& at) {
  while (at < chunk.size()) {
    // Between queries, a byte that can start none leaves both machines idle:
    // the text of a passed-through stream is skipped in a tight loop.
    if (realTime_ == RealTime::Idle && command_ == Command::Idle) {
      at = SkipText(chunk, at);
      if (at == chunk.size()) break;
    }
    const auto byte = static_cast<uint8_t>(chunk[at++]);
    // Both machines see every byte; one byte never completes both, since
    // their final bytes follow different bytes (EOT against I, a, r, ESC).
    const std::optional<PosQuery> realTime = StepRealTime(byte);
    const std::optional<PosQuery> command = StepCommand(byte);
    if (realTime) return realTime;
    if (command) return command;
  }
  return std::nullopt;
}

std::optional<PosQuery> PosQueryScanner::StepRealTime(uint8_t byte) {
  switch (realTime_) {
    case RealTime::Dle:
      if (byte == kEot) {
        realTime_ = RealTime::DleEot;
        return std::nullopt;
      }
      break;
    case RealTime::DleEot:
      if (byte >= kStatusPrinter && byte <= kStatusPaper) {
        realTime_ = RealTime::Idle;
        return PosQuery{PosQueryKind::RealTimeStatus, byte};
      }
      break;
    case RealTime::Idle:
      break;
  }
  // An out-of-range byte is not swallowed: it may start the next query.
  realTime_ = byte == kDle ? RealTime::Dle : RealTime::Idle;
  return std::nullopt;
}

std::optional<PosQuery> PosQueryScanner::StepCommand(uint8_t byte) {
  switch (command_) {
    case Command::Esc:
      if (byte == kEscInitialize) {
        command_ = Command::Idle;
        return PosQuery{PosQueryKind::Initialize, 0};
      }
      break;
    case Command::Gs:
      if (byte == kGsAutoStatus) command_ = Command::GsA;
      if (byte == kGsTransmitStatus) command_ = Command::GsR;
      if (byte == kGsPrinterId) command_ = Command::GsI;
      if (command_ != Command::Gs) return std::nullopt;
      break;
    case Command::GsA:
      command_ = Command::Idle;
      return PosQuery{PosQueryKind::AutoStatus, byte};
    case Command::GsR:
      command_ = Command::Idle;
      return PosQuery{PosQueryKind::TransmitStatus, byte};
    case Command::GsI:
      command_ = Command::Idle;
      return PosQuery{PosQueryKind::PrinterId, byte};
    case Command::Idle:
      break;
  }
  command_ = byte == kEsc ? Command::Esc : byte == kGs ? Command::Gs : Command::Idle;
  return std::nullopt;
}

}  // namespace tavrik::tap
