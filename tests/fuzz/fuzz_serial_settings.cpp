// Any serial settings text either gives line settings inside their ranges or
// is refused with PlatformError 380; nothing else may come out. Accepted
// settings written back in their plain form parse to the same values.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/PlatformError.h"
#include "platform/SerialSettings.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

bool InRange(const tavrik::SerialSettings& s) {
  const std::string parities = "neoms";
  return s.baud > 0 && parities.find(s.parity) != std::string::npos && s.dataBits >= 5 &&
         s.dataBits <= 8 && (s.stopBitsTimesTen == 10 || s.stopBitsTimesTen == 15 || s.stopBitsTimesTen == 20);
}

std::string PlainText(const tavrik::SerialSettings& s) {
  const std::string stop = s.stopBitsTimesTen == 15 ? "1.5" : std::to_string(s.stopBitsTimesTen / 10);
  return std::to_string(s.baud) + "," + s.parity + "," + std::to_string(s.dataBits) + "," + stop;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    const tavrik::SerialSettings s = tavrik::ParseSerialSettings(text);
    Require(InRange(s));
    const tavrik::SerialSettings again = tavrik::ParseSerialSettings(PlainText(s));
    Require(again.baud == s.baud && again.parity == s.parity && again.dataBits == s.dataBits &&
            again.stopBitsTimesTen == s.stopBitsTimesTen);
  } catch (const tavrik::PlatformError& e) {
    Require(e.Number() == 380);
  } catch (...) {
    std::abort();
  }
  return 0;
}
