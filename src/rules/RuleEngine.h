#pragma once
// The rules at work: matches each receipt (as the pipeline's matcher, before
// its listeners), watches the cash drawer through the printer's status
// replies, counts the hits and hands each event to the sinks that the rule
// names (all when it names none). Sinks are named callbacks: "mqtt" and
// "web" now, event outputs of their own later.
//
// Owns its rules and timer; event thread only; nothing it calls may throw
// out of it.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "pipeline/ReceiptMatcher.h"
#include "platform/Platform.h"
#include "rules/DrawerWatch.h"
#include "rules/RuleEvent.h"
#include "rules/RuleSet.h"

namespace tavrik {

struct RuleCount {
  std::string rule;
  uint64_t matches = 0;
};

class RuleEngine final : public ReceiptMatcher {
 public:
  using Sink = std::function<void(const RuleEvent& event)>;

  // receiptUrl: the start of a receipt's permalink ("http://host:8080/"), to
  // which "#seq=N" is added; empty: events carry no url.
  RuleEngine(Platform& platform, std::vector<RuleConfig> rules, std::string till, std::string receiptUrl);
  ~RuleEngine() override;
  RuleEngine(const RuleEngine&) = delete;
  RuleEngine& operator=(const RuleEngine&) = delete;

  void AddSink(std::string name, Sink sink);
  std::span<const std::string_view> Match(const ReceiptRecord& receipt) override;
  // The printer reported its drawer connector's level (pin 3 high or low).
  void OnDrawerLevel(bool high);
  // Every rule with its hits (receipts matched, drawers left open), in the file's order.
  std::vector<RuleCount> Counts() const;

 private:
  struct Watch {
    size_t rule;
    DrawerWatch watch;
  };

  void OnDrawerEvent(size_t rule, const DrawerEvent& drawer);
  void Raise(size_t rule, RuleEvent& event);
  void ArmTimer();
  void OnTimer();

  Platform& platform_;
  const std::vector<RuleConfig> rules_;
  const std::string till_;
  const std::string receiptUrl_;
  RuleSet set_;
  std::vector<Watch> watches_;
  std::vector<std::pair<std::string, Sink>> sinks_;
  std::vector<uint64_t> matches_;  // by rule
  std::vector<std::string_view> names_;  // of the current receipt's hits
  std::unique_ptr<Timer> timer_;  // to the earliest drawer deadline
  std::string url_;   // reused for each event
  std::string json_;  // reused for each event
};

}  // namespace tavrik
