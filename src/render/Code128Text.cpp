#include "render/Code128Text.h"

#include <cstdint>

namespace tavrik {

std::string Code128Text(std::string_view data) {
  std::string text;
  bool setC = false;
  for (size_t i = 0; i < data.size(); ++i) {
    const auto byte = static_cast<uint8_t>(data[i]);
    if (byte == '{' && i + 1 < data.size()) {
      const char next = data[++i];
      if (next == '{') text += '{';
      if (next == 'A' || next == 'B' || next == 'C') setC = next == 'C';
      continue;
    }
    if (setC) {
      if (byte < 100) {
        text += static_cast<char>('0' + byte / 10);
        text += static_cast<char>('0' + byte % 10);
      }
    } else {
      text += static_cast<char>(byte);
    }
  }
  return text;
}

}  // namespace tavrik
