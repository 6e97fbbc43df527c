#pragma once
// The file source: every FilePoll tick reads what a writing program appended
// to the spool file and then takes the file over, so that the writer starts
// a fresh one. A file that another program still holds open is left in place
// and only its growth is read. Event thread only.
#include <cstdint>
#include <memory>
#include <string>

#include "frames/FrameAssembler.h"
#include "platform/Platform.h"
#include "sources/SourceHost.h"

namespace tavrik {

class FileSource {
 public:
  static constexpr int kPollMs = 100;
  static constexpr int64_t kMaxRead = 1048576;
  // A read is handed on in pieces of this size, with the event loop let run
  // in between, so that clients that keep up are seen to keep up: a whole
  // mebibyte of frames in one go would overrun every client's hold-back.
  static constexpr size_t kPiece = 32768;

  FileSource(std::unique_ptr<SpoolFile> file, Timer& filePoll, EventLoop& loop, SourceHost& host,
             FrameAssembler& frames, int32_t frameTimeout);
  ~FileSource();

  void OpenSourceFile();
  void FilePoll_Timer();

  // Bytes of the spool file already consumed; survives every reset.
  int64_t SourceFilePos = 0;

 private:
  void Poll();
  void Append(const std::string& text);

  std::unique_ptr<SpoolFile> file_;
  Timer& filePoll_;
  EventLoop& loop_;
  SourceHost& host_;
  FrameAssembler& frames_;
  int32_t frameTimeout_;
  std::string text_;  // reused for every read
  bool polling_ = false;  // a tick that comes due while the last one yields is skipped
};

}  // namespace tavrik
