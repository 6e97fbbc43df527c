#pragma once
// One event a rule raised, as every event sink gets it: the fields, and the
// JSON document made of them once for all sinks (see EventJson.h). Its views
// are valid only during the call.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavrik {

enum class RuleEventKind { kRule, kDrawerOpen, kDrawerClosed };

struct RuleEvent {
  RuleEventKind kind = RuleEventKind::kRule;
  std::string_view rule;
  std::string_view till;  // empty when the outputs file names none
  std::string_view time;  // local "YYYY-MM-DD HH:MM:SS"
  int64_t epochMs = 0;
  // A receipt's rule:
  uint64_t seq = 0;
  std::string_view line;
  std::optional<double> amount;
  std::string_view text;
  std::string_view url;  // the receipt on the web port; empty without one
  std::string_view png;  // its picture, where an output asked for one
  // The drawer watch:
  double seconds = 0;
  std::string_view json;
};

}  // namespace tavrik
