#pragma once
// The text recognition engine asks OpenMP for up to ten threads in places,
// whatever the thread count is set to: on a busy 2-core machine a page then
// takes several times as long, and its threads take the core the relay's
// event thread needs. Only OpenMP's thread limit bounds them, and the OpenMP
// library reads it from the environment once, as it is loaded, before main.
#include <string>

namespace tavrik {

// Whether the limit is missing from this process's environment: then
// RestartWithOneEngineThread should be called before anything else starts.
bool EngineThreadsUnlimited();
// Runs this program again in this process (same process id, arguments and
// environment, and OMP_THREAD_LIMIT=1); returns only if that failed.
void RestartWithOneEngineThread(char** argv);

}  // namespace tavrik
