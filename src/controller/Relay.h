#pragma once
// The relay: owns the source, the frame in progress, the client server and
// the timers, restarts the source after failures with a growing delay, and
// receives every event on the single event thread.
//
// Recovery state, kept with the one-shot frame timer, whose expiry means
// what the state says:
//
//   restart fails / listener will not close --(timer: retry delay)------> kRetryPending --+
//   network set-up begins -------------------(timer: 3000 ms watchdog)--> kSettingUp -----+-- expiry: RestartSource(true)
//   source ready: client listener opens ----(timer stopped)-----------> kRunning -------- expiry: send the frame in progress
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "controller/RelayState.h"
#include "controller/ServiceControl.h"
#include "controller/Settings.h"
#include "controller/ShutdownReason.h"
#include "frames/FrameAssembler.h"
#include "frames/PartSink.h"
#include "pipeline/ReceiptListener.h"
#include "ocr/TextRecognizer.h"
#include "pipeline/ReceiptPipeline.h"
#include "platform/Platform.h"
#include "server/ClientServer.h"
#include "sources/FileSource.h"
#include "sources/NetworkSource.h"
#include "sources/SerialSource.h"
#include "sources/SourceHost.h"
#include "web/RelayStatus.h"
#include "web/WebServer.h"

namespace tavrik {

class Relay : private SourceHost, private PartSink, private StatusSource {
 public:
  static constexpr int32_t kMinRetryDelayMs = 1000;
  static constexpr int32_t kMaxRetryDelayMs = 50000;
  static constexpr int kKeepAliveTickMs = 1000;
  static constexpr int kTicksPerKeepAlivePart = 3;
  // Every this many ticks without a frame, buffers grown by a burst are given back.
  static constexpr int kIdleTicksBeforeRelease = 5;

  Relay(Platform& platform, const Settings& settings, ServiceControl& service);
  // Logs "Process terminated.".
  ~Relay() override;
  Relay(const Relay&) = delete;
  Relay& operator=(const Relay&) = delete;

  // Starts the keep-alive tick and opens the source.
  void Start();
  // Closes every connection and the port.
  void Shutdown(ShutdownReason reason);
  void RestartSource(bool dropClients) override;
  // Hands every receipt to listener from now on, after the clients' writes
  // (see ReceiptPipeline). Frames are decoded only while some listener
  // exists: the web port (-w) is one from the start.
  void AddReceiptListener(ReceiptListener& listener);
  // Names the rules each receipt matched, before the listeners see it.
  void SetReceiptMatcher(ReceiptMatcher& matcher) { receipts_.SetMatcher(matcher); }
  // Draws each receipt's picture before the matcher (see ReceiptPainter).
  void SetReceiptPainter(ReceiptPainter& painter) { receipts_.SetPainter(painter); }
  // Card numbers masked in what every receipt listener gets; on unless set off.
  void SetCardNumberMasking(bool on) { receipts_.SetCardNumberMasking(on); }
  // Receipts printed as images get text read from them, in languages
  // ("eng+deu"), once some receipt listener exists.
  void SetTextRecognition(const std::string& languages) {
    if (receipts_.HasListeners()) receipts_.EnableTextRecognition(CreateTextRecognizer(languages));
  }
  // Told the passed-through printer's status on every change (-o).
  void SetPrinterStatusListener(std::function<void(const std::string& status)> listener) {
    networkSource_.SetPrinterStatusListener(std::move(listener));
  }
  // Logins, the loopback rule and TLS of the web port (-w); before Start.
  void SetWebAccess(const WebAccessSettings& settings) {
    if (web_) web_->SetAccess(settings);
  }
  // Told the passed-through printer's drawer connector level (-o).
  void SetDrawerListener(std::function<void(bool pinHigh)> listener) {
    networkSource_.SetDrawerListener(std::move(listener));
  }
  // The till's name and its rules' hits, as the web port reports them; set by start-up.
  void SetTill(std::string till) { till_ = std::move(till); }
  void SetRuleReports(std::function<std::vector<RuleReport>()> reports) { ruleReports_ = std::move(reports); }
  void SetEventOutputReports(std::function<std::vector<OutputReport>()> reports) {
    eventOutputReports_ = std::move(reports);
  }
  // Receipts are numbered from last + 1 (a journal's last); before Start.
  void ContinueReceiptsAfter(uint64_t last) { receipts_.ContinueSequenceAfter(last); }
  // What the web port reports of the journal; set by start-up when there is one.
  void SetJournalReport(std::function<JournalReport()> report) { journalReport_ = std::move(report); }
  // What the web port reports of the outputs (-k); set by start-up.
  void SetOutputReports(std::function<std::vector<OutputReport>()> reports) {
    outputReports_ = std::move(reports);
  }

  // --- read by tests ---
  Recovery RecoveryState() const { return recovery_; }
  int32_t RetryDelayMs() const { return retryDelayMs_; }
  FrameAssembler& Frames() { return frames_; }
  const ClientServer& Clients() const { return server_; }
  // The web port; null without -w.
  WebServer* Web() { return web_.get(); }
  RelayStatus CurrentStatus() const override;

 private:
  bool IsSourceReady() const override { return recovery_ == Recovery::kRunning; }
  void WatchSetUp(int32_t ms) override;
  void RestartFrameTimer(int32_t ms) override;
  void OnSourceReady() override;
  void RetrySourceLater() override;
  void Broadcast(const Payload& part) override;
  std::string SourceState() const;
  void OpenSource();
  void OnFrameTimer();
  void OnKeepAliveTick();
  void ReportStatusIfChanged();
  void ReleaseIdleMemory();

  Platform& platform_;
  const Settings settings_;
  ServiceControl& service_;
  std::unique_ptr<Timer> keepAlive_;
  std::unique_ptr<Timer> frameTimer_;  // one-shot; see the recovery state above
  FrameAssembler frames_;
  NetworkSource networkSource_;
  SerialSource serialSource_;
  FileSource fileSource_;
  ClientServer server_;
  ReceiptPipeline receipts_;
  std::unique_ptr<WebServer> web_;  // only with -w
  std::function<std::vector<OutputReport>()> outputReports_;
  std::string till_;
  std::function<std::vector<RuleReport>()> ruleReports_;
  std::function<std::vector<OutputReport>()> eventOutputReports_;
  std::function<JournalReport()> journalReport_;

  Recovery recovery_ = Recovery::kRunning;
  bool clientPortFailed_ = false;  // the client listener would not open
  std::string reportedStatus_;
  int32_t keepAliveTicks_ = 0;
  int32_t idleTicks_ = 0;  // since the last frame
  int32_t retryDelayMs_ = 0;
  int64_t uptimeSeconds_ = 0;  // keep-alive ticks since start
};

}  // namespace tavrik
