#pragma once
// How many bytes the ESC/POS command at a prefix byte (DLE, ESC, FS, GS)
// takes, by the command table and the same bounds as the receipt decoder: a
// command whose lengths pass them takes only its header, so a corrupt length
// cannot swallow the receipt.
#include <cstddef>
#include <string_view>

namespace tavrik {

struct CommandSpan {
  size_t length = 0;      // header, parameters and data
  bool complete = false;  // false: the bytes end inside the command
};

// bytes[at] is the prefix.
CommandSpan MeasureCommand(std::string_view bytes, size_t at);

}  // namespace tavrik
