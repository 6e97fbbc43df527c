#include "rules/RuleSet.h"

namespace tavrik {

RuleSet::RuleSet(const std::vector<RuleConfig>& configs) {
  std::vector<RegexSource> patterns;
  for (size_t i = 0; i < configs.size(); ++i) {
    const RuleConfig& config = configs[i];
    if (!config.MatchesReceipts()) continue;
    rules_.push_back({i, Rule(config)});
    folds_ = folds_ || !config.caseSensitive;
    if (config.regex.empty()) continue;
    rules_.back().regex = static_cast<int>(patterns.size());
    patterns.push_back({config.regex, config.caseSensitive});
  }
  if (!patterns.empty()) regexes_ = CompileRegexSet(patterns);
  regexesFound_.reserve(patterns.size());
  found_.assign(patterns.size(), false);
  hits_.reserve(rules_.size());
}

const std::vector<RuleHit>& RuleSet::Match(const ReceiptText& receipt) {
  hits_.clear();
  if (folds_) FoldCase(receipt.text, folded_);
  if (regexes_) {
    std::fill(found_.begin(), found_.end(), false);
    regexes_->Match(receipt.text, regexesFound_);
    for (const int found : regexesFound_) found_[static_cast<size_t>(found)] = true;
  }
  RuleHit hit;
  for (const Entry& entry : rules_) {
    const bool regexFound = entry.regex >= 0 && found_[static_cast<size_t>(entry.regex)];
    if (!entry.rule.Matches(receipt, folded_, regexFound, hit)) continue;
    hit.rule = entry.index;
    hits_.push_back(hit);
  }
  return hits_;
}

}  // namespace tavrik
