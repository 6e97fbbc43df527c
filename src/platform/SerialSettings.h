#pragma once
// Line settings of a serial port, read from the text given with -b
// ("baud,parity,data bits,stop bits", e.g. "9600,n,8,1").
// Pure and system-independent, so every real port parses alike.
#include <string>

namespace tavrik {

struct SerialSettings {
  int baud;
  char parity;           // 'n' none, 'e' even, 'o' odd, 'm' mark, 's' space
  int dataBits;          // 5..8
  int stopBitsTimesTen;  // 10, 15 or 20
};

// Any letter case, blanks around the fields allowed. Throws PlatformError 380
// when the text is not four such fields.
SerialSettings ParseSerialSettings(const std::string& text);

}  // namespace tavrik
