#pragma once
// Start-up of the receipt journal an outputs file configures: opened before
// the loop runs, so that the relay numbers its receipts on from the
// journal's last, and wired to the relay as a receipt listener whose state
// the web port reports.
#include <memory>
#include <string>

#include "controller/Relay.h"
#include "journal/Journal.h"
#include "platform/Platform.h"

namespace tavrik {

// The journal opened, or null with problem set to the start-up error
// ("file:line: journal.path: cannot open: ...").
std::unique_ptr<Journal> OpenJournal(Platform& platform, const JournalConfig& config,
                                     const std::string& outputsFile, std::string& problem);

// The journal gets every receipt; the relay numbers on from its last.
void ConnectJournal(Relay& relay, Journal& journal);

}  // namespace tavrik
