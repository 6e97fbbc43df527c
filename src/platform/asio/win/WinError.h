#pragma once
// Win32 failures as PlatformError: the GetLastError() number and the
// system's own text for it.
#include <windows.h>

#include <string>

#include "platform/PlatformError.h"

namespace tavrik {

// The system's message for a Win32 error code, without the trailing line break.
std::string DescribeWinError(DWORD error);

// "<what>: <system message>" with error as the number.
PlatformError WinFailure(DWORD error, const std::string& what);

}  // namespace tavrik
