#include "sources/FileSource.h"

#include "log/LogFailure.h"

namespace tavrik {

FileSource::FileSource(std::unique_ptr<SpoolFile> file, Timer& filePoll, EventLoop& loop,
                       SourceHost& host, FrameAssembler& frames, int32_t frameTimeout)
    : file_(std::move(file)),
      filePoll_(filePoll),
      loop_(loop),
      host_(host),
      frames_(frames),
      frameTimeout_(frameTimeout) {
  filePoll_.SetInterval(kPollMs);
  filePoll_.SetTickHandler([this] { FilePoll_Timer(); });
}

FileSource::~FileSource() { filePoll_.SetTickHandler(nullptr); }

void FileSource::OpenSourceFile() {
  try {
    // What the file holds already is not relayed.
    if (file_->Exists()) SourceFilePos = file_->Length();
    filePoll_.SetEnabled(true);
    host_.StartListening();
  } catch (const std::exception& e) {
    LogFailure("Error while Opening SourceFile: ", e);
  }
}

void FileSource::Append(const std::string& text) {
  if (text.empty()) return;
  const std::string_view all(text);
  for (size_t at = 0; at < all.size(); at += kPiece) {
    if (at > 0) loop_.YieldOnce();
    frames_.AppendInput(all.substr(at, kPiece));
  }
  host_.RestartFrameTimer(frameTimeout_);
}

void FileSource::FilePoll_Timer() {
  if (polling_) return;
  polling_ = true;
  Poll();  // traps its own failures
  polling_ = false;
}

void FileSource::Poll() {
  try {
    text_.clear();
    file_->ReadStragglers(text_);
    Append(text_);
    if (!file_->Exists()) return;
    const int64_t size = file_->Length();
    if (size < SourceFilePos) {  // truncated or replaced by a shorter file
      SourceFilePos = size;
      return;
    }
    if (size == SourceFilePos) return;
    if (size - SourceFilePos > kMaxRead) SourceFilePos = size - kMaxRead;
    file_->ReadAt(SourceFilePos, size - SourceFilePos, text_);
    SourceFilePos = size;
    Append(text_);
  } catch (const std::exception& e) {
    LogFailure("Error while Opening SourceFile: ", e);
    return;
  }
  // Take the file over only when no other program holds it open; whatever was
  // appended since the measurement is read before the file goes.
  try {
    text_.clear();
    if (file_->TakeOver(SourceFilePos, text_)) SourceFilePos = 0;
    Append(text_);
  } catch (const std::exception&) {
    // As with a failed deletion: the read position is kept and later ticks go on.
  }
}

}  // namespace tavrik
