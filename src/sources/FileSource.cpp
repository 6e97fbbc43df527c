#include "sources/FileSource.h"

#include "log/LogFailure.h"

namespace tavrik {

FileSource::FileSource(std::unique_ptr<SpoolFile> file, Timer& filePoll, SourceHost& host,
                       FrameAssembler& frames, int32_t frameTimeout)
    : file_(std::move(file)), filePoll_(filePoll), host_(host), frames_(frames), frameTimeout_(frameTimeout) {
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
  frames_.AppendInput(text);
  host_.RestartFrameTimer(frameTimeout_);
}

void FileSource::FilePoll_Timer() {
  int64_t size = 0;
  try {
    text_.clear();
    file_->ReadStragglers(text_);
    Append(text_);
    if (!file_->Exists()) return;
    size = file_->Length();
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
