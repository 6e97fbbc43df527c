#include "controller/Relay.h"

#include <algorithm>

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
                      settings.frameTimeoutMs}),
      serialSource_(platform, *this, frames_,
                    {settings.serialPort, settings.lineSettings, settings.frameTimeoutMs}),
      fileSource_(platform, settings.spoolFile, *this, frames_, settings.frameTimeoutMs),
      server_(platform, [this] { RestartSource(true); }) {
  keepAlive_->SetTickHandler([this] { OnKeepAliveTick(); });
  frameTimer_->SetTickHandler([this] { OnFrameTimer(); });
}

Relay::~Relay() {
  keepAlive_->Stop();
  frameTimer_->Stop();
  Log(LogLevel::kError, "Process terminated.");
}

void Relay::Start() {
  keepAlive_->Start(kKeepAliveTickMs);
  Log(LogLevel::kProgress, "Form loaded.");
  RestartSource(true);
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
  step([&] { server_.CloseListener(); });
  step([&] { networkSource_.Stop(); });
  step([&] { server_.AbortAllClients(); });
  step([&] { frameTimer_->Stop(); });
  step([&] { serialSource_.Stop(); });
}

void Relay::RestartSource(bool dropClients) {
  retryDelayMs_ = std::clamp(retryDelayMs_ * 10, kMinRetryDelayMs, kMaxRetryDelayMs);
  frames_.ForgetCutPrefix();
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
    retryDelayMs_ = 0;
  } catch (const std::exception& e) {
    LogFailure("Reset error: ", e);
    recovery_ = Recovery::kRetryPending;
    RestartFrameTimer(retryDelayMs_);
  }
}

void Relay::OpenSource() {
  frames_.ForgetStartTime();
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
  server_.Listen(settings_.clientPort);
  frameTimer_->Stop();
  recovery_ = Recovery::kRunning;
}

void Relay::WatchSetUp(int32_t ms) {
  RestartFrameTimer(ms);
  recovery_ = Recovery::kSettingUp;
}

void Relay::RestartFrameTimer(int32_t ms) {
  frameTimer_->Start(ms);  // below 1 ms it stays stopped: frames end by cut or size only
}

void Relay::Broadcast(const Payload& part) { server_.Broadcast(part); }

void Relay::AddFrameListener(FrameListener& listener) {
  frameListeners_.push_back(&listener);
  frames_.SetFrameListener(this);
}

void Relay::OnFrame(const FrameRecord& frame) {
  if (pendingCount_ == 0) platform_.Loop().Post([this] { DeliverFrames(); });
  if (pendingCount_ == pendingFrames_.size()) pendingFrames_.emplace_back();
  PendingFrame& pending = pendingFrames_[pendingCount_++];
  pending.bytes.assign(frame.bytes);
  pending.time = platform_.GetClock().LocalDateTimeText();
  pending.cut = frame.cut;
}

// Frames that arrive while a listener runs pending events join the loop.
void Relay::DeliverFrames() {
  for (size_t i = 0; i < pendingCount_; ++i) {
    const PendingFrame& pending = pendingFrames_[i];
    decoder_.Decode(pending.bytes, receiptText_);
    FrameRecord record;
    record.sequence = ++frameSequence_;
    record.time = pending.time;
    record.bytes = pending.bytes;
    record.cut = pending.cut;
    record.text = &receiptText_;
    for (FrameListener* listener : frameListeners_) listener->OnFrame(record);
  }
  pendingCount_ = 0;
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
  try {
    if (service_.StopRequested()) {
      service_.StopService();
      return;
    }
  } catch (const std::exception& e) {
    LogFailure("KeepAlive error: ", e);
    return;
  }
  keepAliveTicks_ = (keepAliveTicks_ + 1) % kTicksPerDay;
  try {
    serialSource_.CheckForStall();
    if (keepAliveTicks_ % kTicksPerKeepAlivePart == 0)
      server_.Broadcast(BuildPart(kKeepAliveType, platform_.GetClock().LocalDateTimeText()));
  } catch (const std::exception& e) {
    LogFailure("KeepAlive error: ", e);
    RestartSource(true);
  }
}

}  // namespace tavrik
