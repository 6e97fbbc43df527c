#include "ocr/OneEngineThread.h"

#include <cstdlib>

#ifdef __linux__
#include <unistd.h>
#endif

#include "ocr/TextRecognizer.h"

namespace tavrik {

bool EngineThreadsUnlimited() { return TextRecognitionAvailable() && std::getenv("OMP_THREAD_LIMIT") == nullptr; }

void RestartWithOneEngineThread(char** argv) {
#ifdef __linux__
  if (setenv("OMP_THREAD_LIMIT", "1", 0) != 0) return;
  // By its own path, not /proc/self/exe: the process name is taken from the
  // path, and ps, top and pkill should still see TavrikSrv.
  char path[4096];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length > 0) {
    path[length] = '\0';
    execv(path, argv);
  }
  execv("/proc/self/exe", argv);
  unsetenv("OMP_THREAD_LIMIT");  // not restarted: the next start must not take it as done
#else
  (void)argv;
#endif
}

}  // namespace tavrik
