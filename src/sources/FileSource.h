#pragma once
// The file source: every poll reads what a writing program appended to the
// spool file and then takes the file over, so that the writer starts a fresh
// one. A file that another program still holds open is left in place and only
// its growth is read. Owns the spool file and the poll timer; event thread
// only.
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
  // A read is handed on in pieces of this size, with pending events let run
  // in between, so that clients that keep up are seen to keep up: a whole
  // mebibyte of frames in one go would overrun every client's hold-back.
  static constexpr size_t kPiece = 32768;

  FileSource(Platform& platform, const std::string& path, SourceHost& host, FrameAssembler& frames,
             int32_t frameTimeoutMs);
  ~FileSource();
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  // Skips what the file holds already, starts polling and opens the client
  // listener. A failure is logged and the start retried later; a retry goes
  // on reading where the last read stopped.
  void Start();

  // Frees the read buffer a burst made grow, unless a poll is handing it on:
  // the release can run among the events a poll lets run between pieces.
  void ReleaseSpareMemory() {
    if (!polling_) std::string().swap(text_);
  }

 private:
  void OnPollTick();
  void Poll();
  void Append(const std::string& text);

  EventLoop& loop_;
  SourceHost& host_;
  FrameAssembler& frames_;
  int32_t frameTimeoutMs_;
  std::unique_ptr<SpoolFile> file_;
  std::unique_ptr<Timer> poll_;
  int64_t readPosition_ = 0;  // bytes of the file already consumed; kept across restarts
  bool positionKept_ = false;  // a failed start measured the file: its retry keeps the position
  std::string text_;          // reused for every read
  bool polling_ = false;      // a tick that comes due while the last one runs is skipped
};

}  // namespace tavrik
