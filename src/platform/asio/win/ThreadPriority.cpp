#include "platform/asio/ThreadPriority.h"

#include <windows.h>

namespace tavrik {

void LowerThisThreadsPriority(WorkerPriority priority) noexcept {
  SetThreadPriority(GetCurrentThread(),
                    priority == WorkerPriority::kIdle ? THREAD_PRIORITY_IDLE : THREAD_PRIORITY_BELOW_NORMAL);
}

}  // namespace tavrik
