#include "startup/JournalStart.h"

#include "journal/JournalSetUp.h"

namespace tavrik {

std::unique_ptr<Journal> OpenJournal(Platform& platform, const JournalConfig& config,
                                     const std::string& outputsFile, std::string& problem) {
  auto journal = std::make_unique<Journal>(platform, config, CreateJournalStore(config));
  if (const std::optional<std::string> failure = journal->Open()) {
    problem = outputsFile + ":" + std::to_string(config.pathLine) + ": journal.path: cannot open " + config.path +
              ": " + *failure;
    return nullptr;
  }
  return journal;
}

void ConnectJournal(Relay& relay, Journal& journal) {
  relay.ContinueReceiptsAfter(journal.LastSequenceAtStart());
  relay.AddReceiptListener(journal);
  relay.SetJournalReport([&journal] {
    const JournalCounters c = journal.Counters();
    return JournalReport{c.writing, journal.Path(), c.queued, c.written, c.dropped, c.lastSeq, c.unindexed, c.error};
  });
}

}  // namespace tavrik
