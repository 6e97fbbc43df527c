#pragma once
// A loss-prevention event as the event outputs get it: a rule that a
// receipt matched, or the cash drawer left open and closed again.
#include <cstdint>
#include <optional>
#include <string>

namespace tavrik {

enum class EventKind { kRule, kDrawerOpen, kDrawerClosed };

struct EventNotice {
  EventKind kind = EventKind::kRule;
  std::string rule;      // the rule's name
  uint64_t seq = 0;      // the receipt's sequence number; 0 for the drawer
  std::string time;      // local "YYYY-MM-DD HH:MM:SS"
  int64_t epochMs = 0;
  std::string till;      // the relay's name; may be empty
  std::string line;      // the receipt's line that matched; may be empty
  std::optional<double> amount;
  std::string text;      // the receipt's text, card numbers masked
  std::string url;       // the receipt on the web port; may be empty
  int32_t seconds = 0;   // the drawer: how long it has been open
  std::string json;      // the whole event as one JSON object (webhooks send it as it is)
};

}  // namespace tavrik
