#pragma once
// Work that may wait on a disk or take the CPU for long, kept off the event
// thread: jobs run one at a time, in the order given, on the worker's own
// thread; each job's completion then runs on the event thread. A job touches
// nothing the event thread owns: what it makes reaches the event thread
// through its completion, which the job's lambda and the completion share.
#include <cstddef>
#include <functional>

namespace tavrik {

enum class WorkerPriority {
  // After the others, with a share still when the CPU is busy: work that may
  // lag behind but must get done (a journal's writes).
  kBelowNormal,
  // Only when a CPU has nothing else to do, and given up the moment a
  // client's send wants it: work that may lag behind, with a bounded queue
  // in front (a journal's writes), or be skipped when it cannot keep up
  // (reading text from images).
  kIdle,
};

class BackgroundWorker {
 public:
  // Runs the jobs already given to their end (nothing handed over is lost),
  // then ends the thread; their completions no longer run.
  virtual ~BackgroundWorker() = default;
  // Queues job, and done to run on the event thread once job has run. Never
  // waits. A job must not throw; one that does is treated as done.
  virtual void Run(std::function<void()> job, std::function<void()> done) = 0;
  // Jobs given whose completion has not run yet.
  virtual size_t Pending() const = 0;
  // From now on the worker's thread gets the CPU after the others, where the
  // system can tell, and so leaves it to the clients' fan-out.
  virtual void LowerPriority(WorkerPriority priority) = 0;
};

}  // namespace tavrik
