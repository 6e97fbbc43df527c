#include "platform/asio/win/WinError.h"

namespace tavrik {

std::string DescribeWinError(DWORD error) {
  char buffer[512];
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                error, 0, buffer, sizeof buffer, nullptr);
  while (length > 0 && (buffer[length - 1] == '\n' || buffer[length - 1] == '\r' ||
                        buffer[length - 1] == ' ' || buffer[length - 1] == '.')) {
    --length;
  }
  if (length == 0) return "Error " + std::to_string(error);
  return std::string(buffer, length);
}

PlatformError WinFailure(DWORD error, const std::string& what) {
  return PlatformError(static_cast<int>(error), what + ": " + DescribeWinError(error));
}

}  // namespace tavrik
