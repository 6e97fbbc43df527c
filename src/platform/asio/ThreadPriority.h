#pragma once
// The calling thread's share of the CPU, as the system schedules it.

namespace tavrik {

// Lowers the calling thread's priority (Linux: nice 10 for this thread
// alone; Windows: below normal). Failure leaves it as it was.
void LowerThisThreadsPriority() noexcept;

}  // namespace tavrik
