// TavrikSrv: relays a captured text stream, frame by frame, to HTTP clients.
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <variant>

#include "Version.h"
#include "controller/Relay.h"
#include "log/Log.h"
#include "log/Logger.h"
#include "ocr/OneEngineThread.h"
#include "ocr/TextRecognizer.h"
#include "outputs/Outputs.h"
#include "outputs/OutputsFile.h"
#include "png/PngWriter.h"
#include "platform/ExecutablePath.h"
#include "platform/SystemPlatform.h"
#include "service/ServiceHost.h"
#include "startup/CommandLine.h"
#include "search/JournalReaderSetUp.h"
#include "startup/JournalStart.h"
#include "startup/PictureWiring.h"
#include "startup/PortConflict.h"
#include "startup/RuleWiring.h"
#include "startup/ShutdownReasonFor.h"
#include "startup/StartupLine.h"
#include "startup/SwitchTable.h"

int main(int argc, char** argv) {
  using namespace tavrik;
  // Only these two exact arguments: any other line is parsed as it always was.
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::fputs(UsageText().c_str(), stdout);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("TavrikSrv %.*s\n", static_cast<int>(kVersion.size()), kVersion.data());
    return 0;
  }
  const Settings settings = ParseCommandLine(JoinArguments(argc, argv));
  if (const std::string conflict = PortConflict(settings); !conflict.empty()) {
    std::fprintf(stderr, "%s\n", conflict.c_str());
    return 2;
  }
  OutputsConfig outputsConfig;
  if (!settings.outputsFile.empty()) {
    auto loaded = LoadOutputsFile(settings.outputsFile);
    if (const auto* error = std::get_if<ConfigError>(&loaded)) {
      std::fprintf(stderr, "%s\n", error->message.c_str());
      return 2;
    }
    outputsConfig = std::get<OutputsConfig>(std::move(loaded));
  }
  // Text is read from receipts only where something takes receipts.
  const bool takesReceipts = settings.webPort != 0 || !outputsConfig.Empty() || outputsConfig.journal ||
                             !outputsConfig.rules.empty();
  const bool readsText = outputsConfig.ocr.enabled && takesReceipts;
  if (readsText && EngineThreadsUnlimited()) RestartWithOneEngineThread(argv);
  if (outputsConfig.render.pictures && !PngWriter::Available()) {
    std::fprintf(stderr, "%s\n", "render: this build has no PNG support");
    return 2;
  }
  const ExecutablePath exe = LocateExecutable(argc > 0 ? argv[0] : nullptr);
  const std::unique_ptr<SystemPlatform> platform = CreateSystemPlatform(exe.folder);
  std::unique_ptr<Journal> journal;  // released after the relay, which feeds it
  if (outputsConfig.journal) {
    std::string problem;
    journal = OpenJournal(*platform, *outputsConfig.journal, settings.outputsFile, problem);
    if (!journal) {
      std::fprintf(stderr, "%s\n", problem.c_str());
      return 2;
    }
  }

  Logger logger(platform->GetClock(), exe.folder, exe.name);
  logger.SetLevel(settings.logLevel);
  logger.SetDelayedWriting(true);
  logger.SetPath(FileBesideExecutable(exe, settings.logFileName));
  logger.SetSizeLimitMB(settings.logSizeMB);
  SetProcessLogger(&logger);
  Log(LogLevel::kError, StartupLine(settings));
  if (!outputsConfig.maskCardNumbers) {
    Log(LogLevel::kError,
        "Card number masking is off (mask_card_numbers = false): receipts may carry full card numbers.");
  }

  std::unique_ptr<ServiceHost> service = CreateServiceHost();
  if (settings.serviceMode && !service->StartAsService()) {
    std::fputs("Unable to start service.\n", stderr);
    return 1;
  }

  // A shutdown ends the event loop; the relay is released after it, since a
  // shutdown can arrive while the relay's handlers run pending events and are
  // still on the stack.
  std::unique_ptr<Outputs> outputs;  // released after the relay, which feeds it
  std::unique_ptr<EventOutputs> events;  // released after the rules, which feed them
  std::unique_ptr<RuleEngine> rules;  // released after the relay, which calls it
  std::unique_ptr<ReceiptPictures> pictures;  // released after the relay, which feeds it
  auto relay = std::make_unique<Relay>(*platform, settings, *service);
  relay->SetCardNumberMasking(outputsConfig.maskCardNumbers);
  try {
    if (outputsConfig.web) relay->SetWebAccess(outputsConfig.web->access);
  } catch (const std::exception& e) {  // TLS files changed since they were checked
    std::fprintf(stderr, "%s\n", e.what());
    return 2;
  }
  if (journal) ConnectJournal(*relay, *journal);
  if (journal && relay->Web()) relay->Web()->UseJournal(CreateJournalReader(*platform, journal->Path()));
  pictures = StartPictures(outputsConfig, *relay);
  if (!outputsConfig.Empty()) {
    outputs = std::make_unique<Outputs>(*platform, outputsConfig);
    relay->AddReceiptListener(*outputs);
    relay->SetPrinterStatusListener([&outputs](const std::string& status) { outputs->PublishPrinterStatus(status); });
    relay->SetOutputReports([&outputs] {
      std::vector<OutputReport> reports;
      for (const OutputStatus& output : outputs->Status()) {
        const OutputCounters& c = output.counters;
        reports.push_back({output.name, c.connected, c.queued, c.sent, c.dropped});
      }
      return reports;
    });
  }
  if (!outputsConfig.events.empty()) {
    events = std::make_unique<EventOutputs>(*platform, outputsConfig.events);
    relay->SetEventOutputReports([&events] {
      std::vector<OutputReport> reports;
      for (const EventOutputStatus& output : events->Status()) {
        const EventOutputCounters& c = output.counters;
        reports.push_back({output.name, c.connected, c.queued, c.sent, c.dropped});
      }
      return reports;
    });
  }
  rules = StartRules(*platform, settings, outputsConfig, *relay, outputs.get(), events.get());
  if (readsText && TextRecognitionAvailable()) relay->SetTextRecognition(outputsConfig.ocr.languages);
  const auto stopOutputs = [&] {
    if (outputs) outputs->Stop();
    if (events) events->Stop();
    if (journal) journal->Stop();
  };
  service->SetShutdown([&] {
    relay->Shutdown(ShutdownReason::kService);
    stopOutputs();
    platform->Loop().RunPending();
    platform->Stop();
  });
  platform->WatchTermination([&](TerminationRequest request) {
    if (platform->IsStopped()) return;  // shut down already
    if (settings.serviceMode) {
      service->RequestStop();  // seen by the next keep-alive tick
      return;
    }
    relay->Shutdown(ShutdownReasonFor(request));
    stopOutputs();
    platform->Stop();
  });

  relay->Start();
  if (outputs) outputs->Start();
  if (events) events->Start();
  if (journal) journal->Start();
  platform->Run();
  relay.reset();
  SetProcessLogger(nullptr);
  return 0;
}
