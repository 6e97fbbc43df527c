#pragma once
// One rule compiled for matching receipts: its needles folded to lower case
// once (unless case-sensitive) and its regex compiled once. Matching is
// const and allocates nothing. Event thread only.
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "receipt/ReceiptText.h"
#include "rules/Needle.h"
#include "rules/RegexPattern.h"
#include "rules/RuleConfig.h"

namespace tavrik {

// Where a receipt matched a rule: the line of its first text condition (or
// of the amount), without the line end; empty for a drawer-only rule.
struct RuleHit {
  size_t rule = 0;  // index into the rule set
  std::string_view line;
  std::optional<double> amount;
};

class Rule {
 public:
  // The regex must compile (the outputs file reader checked it).
  explicit Rule(const RuleConfig& config);

  const RuleConfig& Config() const { return config_; }
  // folded: the text with ASCII letters in lower case, the same length.
  // regexFound: the rule's regex is somewhere in the text (see RuleSet).
  bool Matches(const ReceiptText& receipt, std::string_view folded, bool regexFound, RuleHit& hit) const;

 private:
  std::string_view Haystack(const ReceiptText& receipt, std::string_view folded) const {
    return config_.caseSensitive ? std::string_view(receipt.text) : folded;
  }
  std::optional<size_t> FindWord(std::string_view text) const;
  std::optional<size_t> FindWildcard(std::string_view text) const;
  std::optional<size_t> FindAmount(std::string_view text, std::optional<double>& amount) const;

  RuleConfig config_;
  Needle match_;
  std::vector<Needle> words_;
  std::string wildcard_;
  Needle wildcardLiteral_;  // its longest run without '*' or '?': any line that matches holds it
  Needle label_;
  std::unique_ptr<RegexPattern> regex_;
};

// ASCII letters to lower case, into out (its capacity kept).
void FoldCase(std::string_view text, std::string& out);

}  // namespace tavrik
