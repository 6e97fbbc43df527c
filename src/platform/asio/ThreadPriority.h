#pragma once
// The calling thread's share of the CPU, as the system schedules it.
#include "platform/BackgroundWorker.h"

namespace tavrik {

// Lowers the calling thread's priority (Linux, for this thread alone:
// nice 10, or SCHED_IDLE; Windows: below normal, or idle). Failure leaves it
// as it was.
void LowerThisThreadsPriority(WorkerPriority priority) noexcept;

}  // namespace tavrik
