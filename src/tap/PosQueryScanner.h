#pragma once
// Finds the status queries and the commands that change how a printer answers
// them in the POS -> printer byte stream, split anywhere across chunks.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "escpos/ControlBytes.h"

namespace tavrik::tap {

enum class PosQueryKind : uint8_t {
  RealTimeStatus,  // DLE EOT n, n = 1..4
  TransmitStatus,  // GS r n, any n
  PrinterId,       // GS I n, any n
  AutoStatus,      // GS a n, any n (0 turns automatic status off)
  Initialize,      // ESC @
};

struct PosQuery {
  PosQueryKind kind;
  uint8_t n;
};

// Scans the raw stream without parsing command lengths, the way printers
// treat real-time commands: DLE EOT counts wherever its bytes appear, even in
// another command's data or parameters, so it has a state of its own. The GS
// and ESC commands are found the same way; a false match inside image data is
// rare and harmless next to a POS left waiting for an answer. A command's
// parameter byte is always taken as the parameter, never as a new command.
// DLE EOT 7 a (ink status, a = 1 or 2) is left out: a receipt printer does
// not answer it, and its byte a can not start a query, so passing over it as
// text is the same as taking it.
class PosQueryScanner {
 public:
  // Reads chunk from `at` on and stops right behind the first query that
  // completes, returning it; returns nothing once the chunk is used up.
  std::optional<PosQuery> Next(std::string_view chunk, size_t& at);

 private:
  std::optional<PosQuery> StepRealTime(uint8_t byte);
  std::optional<PosQuery> StepCommand(uint8_t byte);

  enum class RealTime : uint8_t { Idle, Dle, DleEot };
  enum class Command : uint8_t { Idle, Esc, Gs, GsA, GsR, GsI };
  RealTime realTime_ = RealTime::Idle;
  Command command_ = Command::Idle;
};

}  // namespace tavrik::tap
