#include "rules/RuleEngine.h"

#include <algorithm>
#include <exception>

#include "log/LogFailure.h"
#include "rules/EventJson.h"

namespace tavrik {

RuleEngine::RuleEngine(Platform& platform, std::vector<RuleConfig> rules, std::string till, std::string receiptUrl)
    : platform_(platform),
      rules_(std::move(rules)),
      till_(std::move(till)),
      receiptUrl_(std::move(receiptUrl)),
      set_(rules_),
      matches_(rules_.size(), 0),
      timer_(platform.CreateTimer()) {
  for (size_t i = 0; i < rules_.size(); ++i) {
    const RuleConfig& rule = rules_[i];
    if (rule.WatchesDrawer()) watches_.push_back({i, DrawerWatch(int64_t{*rule.drawerOpenTenths} * 100, rule.drawerOpenHigh)});
  }
  names_.reserve(rules_.size());
  timer_->SetTickHandler([this] { OnTimer(); });
}

RuleEngine::~RuleEngine() { timer_->Stop(); }

void RuleEngine::AddSink(std::string name, Sink sink) { sinks_.emplace_back(std::move(name), std::move(sink)); }

std::span<const std::string_view> RuleEngine::Match(const ReceiptRecord& receipt) {
  names_.clear();
  if (set_.Empty()) return names_;
  for (const RuleHit& hit : set_.Match(*receipt.text)) {
    names_.push_back(rules_[hit.rule].name);
    RuleEvent event;
    event.kind = RuleEventKind::kRule;
    event.time = receipt.time;
    event.epochMs = receipt.epochMs;
    event.seq = receipt.sequence;
    event.line = hit.line;
    event.amount = hit.amount;
    event.text = receipt.text->text;
    event.png = receipt.png;
    if (!receiptUrl_.empty()) {
      url_.assign(receiptUrl_).append("#seq=").append(std::to_string(receipt.sequence));
      event.url = url_;
    }
    Raise(hit.rule, event);
  }
  return names_;
}

void RuleEngine::OnDrawerLevel(bool high) {
  const int64_t now = platform_.GetClock().UnixTimeMs();
  for (Watch& watch : watches_) {
    if (const std::optional<DrawerEvent> drawer = watch.watch.OnLevel(high, now)) OnDrawerEvent(watch.rule, *drawer);
  }
  ArmTimer();
}

void RuleEngine::OnTimer() {
  timer_->Stop();
  const int64_t now = platform_.GetClock().UnixTimeMs();
  for (Watch& watch : watches_) {
    if (const std::optional<DrawerEvent> drawer = watch.watch.OnTime(now)) OnDrawerEvent(watch.rule, *drawer);
  }
  ArmTimer();
}

void RuleEngine::ArmTimer() {
  std::optional<int64_t> earliest;
  for (const Watch& watch : watches_) {
    const std::optional<int64_t> deadline = watch.watch.Deadline();
    if (deadline && (!earliest || *deadline < *earliest)) earliest = deadline;
  }
  if (!earliest) {
    timer_->Stop();
    return;
  }
  const int64_t wait = *earliest - platform_.GetClock().UnixTimeMs();
  timer_->Start(static_cast<int>(std::clamp<int64_t>(wait, 1, 86400000)));
}

void RuleEngine::OnDrawerEvent(size_t rule, const DrawerEvent& drawer) {
  const std::string time = platform_.GetClock().LocalDateTimeText();
  RuleEvent event;
  event.kind = drawer.kind == DrawerEventKind::kOpen ? RuleEventKind::kDrawerOpen : RuleEventKind::kDrawerClosed;
  event.time = time;
  event.epochMs = platform_.GetClock().UnixTimeMs();
  // Tenths, as the threshold is given.
  event.seconds = static_cast<double>(drawer.openMs / 100) / 10;
  Raise(rule, event);
}

void RuleEngine::Raise(size_t rule, RuleEvent& event) {
  const RuleConfig& config = rules_[rule];
  if (event.kind != RuleEventKind::kDrawerClosed) ++matches_[rule];
  event.rule = config.name;
  event.till = till_;
  try {
    FormatEventJson(event, json_);
    event.json = json_;
    for (const auto& [name, sink] : sinks_) {
      const bool wanted = config.outputs.empty() ||
                          std::find(config.outputs.begin(), config.outputs.end(), name) != config.outputs.end();
      if (wanted) sink(event);
    }
  } catch (const std::exception& e) {
    // The event is lost to the sinks not reached yet; the receipt goes on.
    LogFailure("Rule event error: ", e);
  }
}

std::vector<RuleCount> RuleEngine::Counts() const {
  std::vector<RuleCount> counts;
  for (size_t i = 0; i < rules_.size(); ++i) counts.push_back({rules_[i].name, matches_[i]});
  return counts;
}

}  // namespace tavrik
