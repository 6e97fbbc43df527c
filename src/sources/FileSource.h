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

  FileSource(std::unique_ptr<SpoolFile> file, Timer& filePoll, SourceHost& host,
             FrameAssembler& frames, int32_t frameTimeout);
  ~FileSource();

  void OpenSourceFile();
  void FilePoll_Timer();

  // Bytes of the spool file already consumed; survives every reset.
  int64_t SourceFilePos = 0;

 private:
  void Append(const std::string& text);

  std::unique_ptr<SpoolFile> file_;
  Timer& filePoll_;
  SourceHost& host_;
  FrameAssembler& frames_;
  int32_t frameTimeout_;
  std::string text_;  // reused for every read
};

}  // namespace tavrik
