#pragma once
// The journal as the web port reads it: a read-only connection of its own
// (JournalConnection) on a worker of its own, so that no read waits on the
// disk in the event thread and none waits behind the journal's writer. Jobs
// run one at a time in the order asked: an export pulled chunk by chunk lets
// the other requests through between its chunks.
#include <memory>
#include <string>

#include "platform/Platform.h"
#include "search/ReceiptArchive.h"
#include "search/sqlite/JournalConnection.h"

namespace tavrik {

class JournalReader final : public ReceiptArchive {
 public:
  JournalReader(Platform& platform, std::string path);
  ~JournalReader() override;
  JournalReader(const JournalReader&) = delete;
  JournalReader& operator=(const JournalReader&) = delete;

  void Search(const ReceiptQuery& query, std::function<void(ArchivePage)> done) override;
  void Find(uint64_t seq, std::function<void(ArchivePage)> done) override;
  void Between(uint64_t after, uint64_t below, int64_t sinceMs, int count,
               std::function<void(ArchivePage)> done) override;
  void UseFrame(uint64_t seq, FrameUse use, std::function<void(ArchiveMade)> done) override;
  std::unique_ptr<ArchiveCursor> Export(const ReceiptQuery& query) override;

 private:
  class Cursor;
  // Runs read on the worker, then done with its page on the event thread.
  void Run(std::function<ArchivePage(JournalConnection&)> read,
           std::function<void(ArchivePage)> done);

  JournalConnection connection_;              // the worker's alone
  std::unique_ptr<BackgroundWorker> worker_;  // last: its jobs end before the connection goes
};

}  // namespace tavrik
