#pragma once
// One [[rule]] of the outputs file, as read: plain data, written once at
// start-up. Every condition given must hold for a receipt to match. Each
// member has an initializer, so that designated initializers may leave any out.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tavrik {

enum class DrawerCondition { kNone, kAny, kWithoutText };

struct RuleConfig {
  static constexpr size_t kMaxRules = 64;

  std::string name{};
  uint32_t line = 0;  // of the [[rule]] header, for problems found later
  std::string match{};  // contained somewhere in the text
  bool caseSensitive = false;
  std::vector<std::string> words{};  // any of them as a whole word
  std::string wildcard{};            // '*' any run, '?' one character, within a line
  std::string regex{};
  std::string amountAfter{};  // label of the amount
  std::optional<double> above{};
  std::optional<double> below{};
  DrawerCondition drawer = DrawerCondition::kNone;
  // Drawer watch: the drawer reported open for longer than this (tenths of a second).
  std::optional<int32_t> drawerOpenTenths{};
  // The connector level that means open: low by default, since the usual
  // answer of a printer with its drawer shut (0x16) has pin 3 high.
  bool drawerOpenHigh = false;
  std::vector<std::string> outputs{};  // event sinks by name; empty: all

  bool WatchesDrawer() const { return drawerOpenTenths.has_value(); }
  bool MatchesReceipts() const {
    return !match.empty() || !words.empty() || !wildcard.empty() || !regex.empty() || !amountAfter.empty() ||
           drawer != DrawerCondition::kNone;
  }
};

}  // namespace tavrik
