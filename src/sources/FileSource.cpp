#include "sources/FileSource.h"

#include "log/Log.h"
#include "log/LogFailure.h"

namespace tavrik {

FileSource::FileSource(Platform& platform, const std::string& path, SourceHost& host,
                       FrameAssembler& frames, int32_t frameTimeoutMs)
    : loop_(platform.Loop()),
      host_(host),
      frames_(frames),
      frameTimeoutMs_(frameTimeoutMs),
      file_(platform.OpenSpoolFile(path)),
      poll_(platform.CreateTimer()) {
  poll_->SetTickHandler([this] { OnPollTick(); });
}

FileSource::~FileSource() { poll_->SetTickHandler(nullptr); }

void FileSource::Start() {
  try {
    // What the file holds already is not relayed.
    if (!positionKept_ && file_->Exists()) readPosition_ = file_->Length();
    positionKept_ = true;
    if (!poll_->IsRunning()) poll_->Start(kPollMs);
    host_.OnSourceReady();
    positionKept_ = false;
  } catch (const std::exception& e) {
    LogFailure("Error while Opening SourceFile: ", e);
    host_.RetrySourceLater();
  }
}

void FileSource::Append(const std::string& text) {
  if (text.empty()) return;
  const std::string_view all(text);
  for (size_t at = 0; at < all.size(); at += kPiece) {
    if (at > 0) loop_.RunPending();
    frames_.Append(all.substr(at, kPiece));
    // A writer that never pauses for the frame timeout still gets frames of
    // bounded size, as the network source's peer does.
    if (frames_.Length() >= FrameAssembler::kMaxLength) {
      Log(LogLevel::kError, "FrameBuffer exceeds maximum frame size.");
      frames_.SendFrame();
    }
  }
  host_.RestartFrameTimer(frameTimeoutMs_);
}

void FileSource::OnPollTick() {
  // Nothing is read while a retry waits: with no client listener the bytes
  // would reach nobody, and the retry goes on from here.
  if (polling_ || !host_.IsSourceReady()) return;
  polling_ = true;
  Poll();  // catches its own failures
  polling_ = false;
}

void FileSource::Poll() {
  try {
    text_.clear();
    file_->ReadStragglers(text_);
    Append(text_);
    if (!file_->Exists()) return;
    const int64_t size = file_->Length();
    if (size < readPosition_) {  // truncated or replaced by a shorter file
      readPosition_ = size;
      return;
    }
    if (size == readPosition_) return;
    if (size - readPosition_ > kMaxRead) readPosition_ = size - kMaxRead;
    file_->ReadAt(readPosition_, size - readPosition_, text_);
    readPosition_ = size;
    Append(text_);
  } catch (const std::exception& e) {
    LogFailure("Error while Opening SourceFile: ", e);
    return;
  }
  // Take the file over only when no other program holds it open; whatever was
  // appended since the measurement is read before the file goes.
  try {
    text_.clear();
    if (file_->TakeOver(readPosition_, text_)) readPosition_ = 0;
    Append(text_);
  } catch (const std::exception&) {
    // As with a failed deletion: the read position is kept and later ticks go on.
  }
}

}  // namespace tavrik
