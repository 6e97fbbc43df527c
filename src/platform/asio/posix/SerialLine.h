#pragma once
// Line configuration of a Linux tty through termios2, which takes any baud
// rate (BOTHER) besides the standard ones. Kept apart from the port because
// <asm/termbits.h> and the C library's <termios.h> cannot share a source file.
#include "platform/SerialSettings.h"

struct termios2;

namespace tavrik {

// Rewrites line into a raw line with the given settings: no echo, no canonical
// mode, no CR/LF translation, no flow control, no parity checking (bytes pass
// unchanged), and reads that hand over whatever is waiting (VMIN 1, VTIME 0).
void MakeRawLine(termios2& line, const SerialSettings& settings);

// Reads the line settings of fd, applies MakeRawLine and writes them back.
// Returns 0, or the errno of the call that failed.
int ConfigureSerialLine(int fd, const SerialSettings& settings);

}  // namespace tavrik
