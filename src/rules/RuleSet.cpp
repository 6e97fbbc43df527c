#include "rules/RuleSet.h"

namespace tavrik {

RuleSet::RuleSet(const std::vector<RuleConfig>& configs) {
  for (size_t i = 0; i < configs.size(); ++i) {
    if (!configs[i].MatchesReceipts()) continue;
    rules_.push_back({i, Rule(configs[i])});
    folds_ = folds_ || !configs[i].caseSensitive;
  }
  hits_.reserve(rules_.size());
}

const std::vector<RuleHit>& RuleSet::Match(const ReceiptText& receipt) {
  hits_.clear();
  if (folds_) FoldCase(receipt.text, folded_);
  RuleHit hit;
  for (const Entry& entry : rules_) {
    if (!entry.rule.Matches(receipt, folded_, hit)) continue;
    hit.rule = entry.index;
    hits_.push_back(hit);
  }
  return hits_;
}

}  // namespace tavrik
