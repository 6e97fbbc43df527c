#include "controller/Relay.h"

#include <algorithm>
#include <utility>

#include "frames/MultipartPart.h"
#include "log/Log.h"
#include "log/LogFailure.h"
#include "log/LogText.h"

namespace tavrik {
namespace {

// The tick counter wraps once a day.
constexpr int32_t kTicksPerDay = 86400;

}  // namespace

Relay::Relay(Platform& platform, const Settings& settings, ServiceControl& service)
    : platform_(platform),
      settings_(settings),
      service_(service),
      keepAlive_(platform.CreateTimer()),
      frameTimer_(platform.CreateTimer()),
      frames_(settings.cutDetection, settings.eventContentType, *this),
      networkSource_(platform, *this, frames_,
                     {settings.peerHost, settings.sourcePort, settings.listen, settings.protocol,
                      settings.frameTimeoutMs, PassesThrough(settings) ? settings.printerHost : std::string(),
                      settings.printerPort, AnswersStatus(settings)}),
      serialSource_(platform, *this, frames_,
                    {settings.serialPort, settings.lineSettings, settings.frameTimeoutMs, AnswersStatus(settings)}),
      fileSource_(platform, settings.spoolFile, *this, frames_, settings.frameTimeoutMs),
      server_(platform, [this] { RestartSource(true); }),
      receipts_(platform) {
  keepAlive_->SetTickHandler([this] { OnKeepAliveTick(); });
  frameTimer_->SetTickHandler([this] { OnFrameTimer(); });
  if (settings.webPort > 0) {
    const StatusSource& status = *this;
    web_ = std::make_unique<WebServer>(platform, status);
    AddReceiptListener(*web_);
  }
}

Relay::~Relay() {
  keepAlive_->Stop();
  frameTimer_->Stop();
  Log(LogLevel::kError, "Process terminated.");
}

void Relay::Start() {
  if (!settings_.printerHost.empty() && !PassesThrough(settings_))
    Log(LogLevel::kError, "Printer pass-through (-o) works with the TCP listener source (-l -t N) only: ignored.");
  if (settings_.answerStatus && !settings_.printerHost.empty())
    Log(LogLevel::kError, "Status answers (-v) are off while a printer answers (-o): ignored.");
  keepAlive_->Start(kKeepAliveTickMs);
  Log(LogLevel::kProgress, "Form loaded.");
  RestartSource(true);
  if (!web_) return;
  // The relay goes on while the web port retries a port it cannot have.
  static_assert(WebListener::kFirstRetryMs == kMinRetryDelayMs &&
                WebListener::kLongestRetryMs == kMaxRetryDelayMs);
  web_->Listen(settings_.webAddress, settings_.webPort);
}

void Relay::Shutdown(ShutdownReason reason) {
  keepAlive_->Stop();
  LogLazy(LogLevel::kError, [&] {
    return "Application Unload request. Unload Mode = " + std::to_string(static_cast<int>(reason));
  });
  // Nothing may stop the shutdown: each step goes on whatever the one before did.
  const auto step = [](auto&& action) {
    try {
      action();
    } catch (const std::exception&) {
    }
  };
  step([&] { receipts_.Flush(); });  // the listeners still get the frames of the last moment
  step([&] { server_.CloseListener(); });
  step([&] { networkSource_.Stop(); });
  step([&] { server_.AbortAllClients(); });
  step([&] { frameTimer_->Stop(); });
  step([&] { serialSource_.Stop(); });
  step([&] {
    if (web_) web_->Close();
  });
}

void Relay::RestartSource(bool dropClients) {
  retryDelayMs_ = std::clamp(retryDelayMs_ * 10, kMinRetryDelayMs, kMaxRetryDelayMs);
  frames_.ForgetCutPrefix();
  receipts_.StartNewStream();
  LogLazy(LogLevel::kSourceReset, [&] { return "Reset. KillClients=" + BoolText(dropClients); });
  try {
    if (dropClients) {
      frames_.DropFrame();
      server_.CloseListener();
      platform_.Loop().RunPending();
      server_.CloseAllClients();
      if (!server_.IsListenerClosed()) {
        recovery_ = Recovery::kRetryPending;
        RestartFrameTimer(kMinRetryDelayMs);
        return;
      }
    }
    OpenSource();
    // A source that catches its own failure asks for a retry instead.
    if (recovery_ != Recovery::kRetryPending) retryDelayMs_ = 0;
  } catch (const std::exception& e) {
    LogFailure("Reset error: ", e);
    recovery_ = Recovery::kRetryPending;
    RestartFrameTimer(retryDelayMs_);
  }
}

void Relay::OpenSource() {
  frames_.ForgetStartTime();
  clientPortFailed_ = false;
  switch (SelectedSource(settings_)) {
    case SourceKind::kNetwork:
      networkSource_.Restart();
      break;
    case SourceKind::kSpoolFile:
      fileSource_.Start();
      break;
    case SourceKind::kSerial:
      serialSource_.Restart();
      break;
  }
}

void Relay::OnSourceReady() {
  clientPortFailed_ = true;
  server_.Listen(settings_.clientPort);
  clientPortFailed_ = false;
  frameTimer_->Stop();
  recovery_ = Recovery::kRunning;
}

void Relay::RetrySourceLater() {
  recovery_ = Recovery::kRetryPending;
  RestartFrameTimer(retryDelayMs_);
}

void Relay::WatchSetUp(int32_t ms) {
  RestartFrameTimer(ms);
  recovery_ = Recovery::kSettingUp;
}

void Relay::RestartFrameTimer(int32_t ms) {
  frameTimer_->Start(ms);  // below 1 ms it stays stopped: frames end by cut or size only
}

void Relay::Broadcast(const Payload& part) {
  idleTicks_ = 0;
  server_.Broadcast(part);
}

RelayStatus Relay::CurrentStatus() const {
  RelayStatus status;
  status.uptimeSeconds = uptimeSeconds_;
  switch (SelectedSource(settings_)) {
    case SourceKind::kNetwork:
      status.sourceKind = "network";
      status.sourcePeer = networkSource_.SocketStateNow() == SocketState::kConnected
                              ? networkSource_.RemoteHost()
                              : settings_.peerHost + ":" + std::to_string(settings_.sourcePort);
      break;
    case SourceKind::kSpoolFile:
      status.sourceKind = "file";
      status.sourcePeer = settings_.spoolFile;
      break;
    case SourceKind::kSerial:
      status.sourceKind = "serial";
      status.sourcePeer = "COM" + std::to_string(settings_.serialPort);
      break;
  }
  status.sourceState = SourceState();
  status.framesRelayed = frames_.FramesSent();
  status.bytesRelayed = frames_.BytesSent();
  status.clientsConnected = server_.StreamingCount();
  status.partsHeldBack = server_.PartsHeldBack();
  status.partsDropped = server_.PartsDropped();
  status.logLevel = settings_.logLevel;
  status.printerStatus = networkSource_.PrinterStatusText();
  status.lastFrameTime = receipts_.LastFrameTime();
  if (outputReports_) status.outputs = outputReports_();
  if (journalReport_) status.journal = journalReport_();
  return status;
}

// listening / connected / receiving (UDP) / port open / polling while the
// source runs; retrying or setting up while it recovers.
std::string Relay::SourceState() const {
  if (recovery_ == Recovery::kRetryPending) return "retrying";
  if (recovery_ == Recovery::kSettingUp) return "setting up";
  switch (SelectedSource(settings_)) {
    case SourceKind::kNetwork:
      switch (networkSource_.SocketStateNow()) {
        case SocketState::kListening: return "listening";
        case SocketState::kConnected: return "connected";
        case SocketState::kOpen: return "receiving";
        default: return "reconnecting";
      }
    case SourceKind::kSpoolFile:
      return "polling";
    case SourceKind::kSerial:
      return serialSource_.IsPortOpen() ? "port open" : "retrying";
  }
  return "unknown";
}

void Relay::AddReceiptListener(ReceiptListener& listener) {
  receipts_.AddListener(listener);
  frames_.SetFrameListener(&receipts_);
}

void Relay::OnFrameTimer() {
  if (!frameTimer_->IsRunning()) return;  // a tick queued before the timer was stopped
  frameTimer_->Stop();
  if (recovery_ != Recovery::kRunning) {
    RestartSource(true);
    return;
  }
  try {
    frames_.SendFrame();
  } catch (const std::exception& e) {
    LogFailure("SendFrame error: ", e);
  }
}

void Relay::OnKeepAliveTick() {
  FlushLogIfDue();
  try {
    if (service_.StopRequested()) {
      service_.StopService();
      return;
    }
    service_.Heartbeat();
    ReportStatusIfChanged();
    // Repeated while idle: slow clients may hold parts of the burst a while longer.
    if (++idleTicks_ >= kIdleTicksBeforeRelease) {
      idleTicks_ = 0;
      ReleaseIdleMemory();
    }
  } catch (const std::exception& e) {
    LogFailure("KeepAlive error: ", e);
    return;
  }
  keepAliveTicks_ = (keepAliveTicks_ + 1) % kTicksPerDay;
  ++uptimeSeconds_;
  try {
    serialSource_.CheckForStall();
    if (keepAliveTicks_ % kTicksPerKeepAlivePart == 0)
      server_.Broadcast(BuildPart(kKeepAliveType, platform_.GetClock().LocalDateTimeText()));
  } catch (const std::exception& e) {
    LogFailure("KeepAlive error: ", e);
    RestartSource(true);
  }
}

void Relay::ReleaseIdleMemory() {
  frames_.ReleaseSpareMemory();
  networkSource_.ReleaseSpareMemory();
  serialSource_.ReleaseSpareMemory();
  fileSource_.ReleaseSpareMemory();
  ReleaseLogSpareMemory();
  platform_.ReturnFreeMemory();
}

void Relay::ReportStatusIfChanged() {
  const RelayState state{recovery_, clientPortFailed_, retryDelayMs_, server_.StreamingCount()};
  std::string status = DescribeRelayState(settings_, state);
  if (status == reportedStatus_) return;
  service_.ReportStatus(status);
  reportedStatus_ = std::move(status);
}

}  // namespace tavrik
