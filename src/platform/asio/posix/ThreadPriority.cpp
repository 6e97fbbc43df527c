#include "platform/asio/ThreadPriority.h"

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace tavrik {

// On Linux a nice value and a policy belong to a thread, named by its id
// (0: the caller). A nice thread still runs a while before a woken client
// sender takes its core; an idle one gives it up at once.
void LowerThisThreadsPriority(WorkerPriority priority) noexcept {
  if (priority == WorkerPriority::kIdle) {
    const sched_param none{};
    sched_setscheduler(0, SCHED_IDLE, &none);
    return;
  }
  setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10);
}

}  // namespace tavrik
