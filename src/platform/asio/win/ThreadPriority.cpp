#include "platform/asio/ThreadPriority.h"

#include <windows.h>

namespace tavrik {

void LowerThisThreadsPriority() noexcept { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL); }

}  // namespace tavrik
