#include "sources/SerialSource.h"

#include "log/Log.h"
#include "log/LogFailure.h"

namespace tavrik {
namespace {

// A single waiting character can be one that just arrived.
constexpr int16_t kStallThreshold = 1;
constexpr int32_t kStalledTicksBeforeDrain = 2;

}  // namespace

SerialSource::SerialSource(Platform& platform, SourceHost& host, FrameAssembler& frames,
                           SerialSourceSettings settings)
    : platform_(platform),
      host_(host),
      frames_(frames),
      settings_(std::move(settings)),
      port_(platform.CreateSerialPort()) {
  port_->SetDataHandler([this] { OnSerialData(); });
}

SerialSource::~SerialSource() { port_->SetDataHandler(nullptr); }

void SerialSource::Restart() {
  stalledTicks_ = 0;
  responder_ = tap::StatusResponder();
  port_->Close();
  platform_.Loop().RunPending();
  port_->Open(settings_.port, settings_.lineSettings);
  host_.OnSourceReady();
}

void SerialSource::Stop() { port_->Close(); }

void SerialSource::OnSerialData() {
  try {
    port_->Read(chunk_);
    if (!host_.IsSourceReady()) return;
    frames_.StampStart(platform_.GetClock().SecondsSinceMidnight());
    while (!chunk_.empty()) {
      stalledTicks_ = 0;
      frames_.CountChunk(platform_.GetClock().SecondsSinceMidnight());
      LogLazy(LogLevel::kData, [&] {
        return "OnComm(" + std::to_string(port_->LastEvent()) + ") : '" + chunk_ + "'";
      });
      if (settings_.answerStatus) AnswerQueries();
      frames_.Append(chunk_);
      host_.RestartFrameTimer(settings_.frameTimeoutMs);
      // Only a frame beyond the limit is sent (the network source sends one
      // that reaches it).
      if (frames_.Length() > FrameAssembler::kMaxLength) {
        Log(LogLevel::kError, "FrameBuffer exceeds maximum frame size.");
        frames_.SendFrame();
      }
      port_->Read(chunk_);
    }
  } catch (const std::exception& e) {
    LogFailure("OnComm error: ", e);
    host_.RestartSource(true);
  }
}

void SerialSource::AnswerQueries() {
  responder_.Scan(chunk_, replies_);
  if (replies_.empty()) return;
  port_->Write(replies_);
  replies_.clear();
}

void SerialSource::CheckForStall() {
  if (!port_->IsOpen() || port_->BytesWaiting() <= kStallThreshold) return;
  const int32_t stalls = stalledTicks_ + 1;
  LogLazy(LogLevel::kError,
          [&] { return "ERROR: Com port buffer is not empty " + std::to_string(stalls) + " times in a row"; });
  if (stalledTicks_ >= kStalledTicksBeforeDrain) OnSerialData();
  stalledTicks_ = stalls;
  if (stalls > kStalledTicksBeforeDrain) host_.RestartSource(false);
}

}  // namespace tavrik
