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

  auto form = std::make_unique<MainForm>(platform, settings, *service);
  const auto release = [&] {
    form.reset();  // the terminate step
    platform.Stop();
  };
  service->SetUnload([&] {
    form->UnloadRequest(kUnloadBySelf);
    platform.Loop().YieldOnce();
    platform.Loop().Post(release);  // the controller is still on the stack here
  });
  SignalWatcher signals(platform.Context(), [&](int signal) {
    if (!form) return;
    if (settings.ServiceMode) {
      service->RequestStop();  // seen by the next keep-alive tick
      return;
    }
    form->UnloadRequest(UnloadModeForSignal(signal));
    release();
  });

  form->Load();
  platform.Run();
  form.reset();
  SetProcessLogger(nullptr);
  return 0;
}
