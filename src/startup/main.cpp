// TavrikSrv: relays a captured text stream, frame by frame, to HTTP clients.
#include <cstdio>
#include <memory>

#include "controller/MainForm.h"
#include "log/LogMsg.h"
#include "log/Logger.h"
#include "platform/asio/AsioPlatform.h"
#include "platform/asio/ExecutablePath.h"
#include "platform/asio/SignalWatcher.h"
#include "service/ServiceHost.h"
#include "startup/CommandLine.h"
#include "startup/StartupLine.h"
#include "startup/UnloadMode.h"

int main(int argc, char** argv) {
  using namespace tavrik;
  const Settings settings = ParseCommandLine(JoinArguments(argc, argv));
  const ExecutablePath exe = LocateExecutable(argc > 0 ? argv[0] : nullptr);
  AsioPlatform platform(exe.folder);

  Logger logger(platform.GetClock(), exe.folder, exe.name);
  logger.SetDebugLevel(settings.DebugLevel);
  logger.SetUseLogDelay(true);
  logger.SetLogPath(exe.folder + kPathSeparator + settings.LogFileName);
  logger.SetLogSizeMB(settings.LogSizeMB);
  SetProcessLogger(&logger);
  LogMsg(10, StartupLine(settings));

  std::unique_ptr<ServiceHost> service = CreateServiceHost();
  if (settings.ServiceMode && !service->StartAsService()) {
    std::fputs("Unable to start service.\n", stderr);
    return 1;
  }

  // An unload ends the event loop; the controller is released after it, since
  // an unload can arrive inside a yield with the controller's handlers still
  // on the stack.
  auto form = std::make_unique<MainForm>(platform, settings, *service);
  service->SetUnload([&] {
    form->UnloadRequest(kUnloadBySelf);
    platform.Loop().YieldOnce();
    platform.Stop();
  });
  SignalWatcher signals(platform.Context(), [&](TerminationRequest request) {
    if (platform.Context().stopped()) return;  // unloaded already
    if (settings.ServiceMode) {
      service->RequestStop();  // seen by the next keep-alive tick
      return;
    }
    form->UnloadRequest(UnloadModeFor(request));
    platform.Stop();
  });

  form->Load();
  platform.Run();
  form.reset();  // the terminate step
  SetProcessLogger(nullptr);
  return 0;
}
