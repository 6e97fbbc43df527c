#pragma once
// The receipt rules of an outputs file, compiled once; matches a receipt
// against all of them. A warmed-up set allocates nothing per receipt: the
// folded text and the hits are kept from receipt to receipt. Event thread only.
#include <memory>
#include <string>
#include <vector>

#include "rules/RegexSet.h"
#include "rules/Rule.h"

namespace tavrik {

class RuleSet {
 public:
  // Only the configs that match receipts are taken (not drawer watches);
  // their index in configs is the hit's rule.
  explicit RuleSet(const std::vector<RuleConfig>& configs);

  bool Empty() const { return rules_.empty(); }
  // The hits of one receipt, in the order of the file; valid until the next call.
  const std::vector<RuleHit>& Match(const ReceiptText& receipt);

 private:
  struct Entry {
    size_t index;
    Rule rule;
    int regex = -1;  // its pattern's place in regexes_
  };
  std::vector<Entry> rules_;
  std::unique_ptr<RegexSet> regexes_;  // every rule's regex, searched in one pass
  std::vector<int> regexesFound_;
  std::vector<bool> found_;  // by place in regexes_
  bool folds_ = false;  // some rule ignores case
  std::string folded_;
  std::vector<RuleHit> hits_;
};

}  // namespace tavrik
