// Rules on any receipt text must not crash, and must agree with plain
// searches: a wildcard without '*' or '?' is found in a line exactly where
// the line contains it, a match rule fires exactly where the folded text
// contains the folded needle, and an amount is a finite number.
//
// Input layout: the pattern up to the first line feed (at most 64 bytes),
// then the receipt's text.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzInput.h"
#include "rules/Amount.h"
#include "rules/RuleSet.h"
#include "rules/Wildcard.h"

namespace {

using tavrik::fuzz::Require;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find('\n');
  if (split == std::string_view::npos || split == 0 || split > 64) return 0;
  const std::string pattern(input.substr(0, split));
  tavrik::ReceiptText receipt;
  receipt.text = std::string(input.substr(split + 1));
  receipt.facts.visibleText = true;

  const bool plain = pattern.find_first_of("*?") == std::string::npos;
  for (size_t begin = 0; begin <= receipt.text.size();) {
    size_t end = receipt.text.find('\n', begin);
    if (end == std::string::npos) end = receipt.text.size();
    const std::string_view line = std::string_view(receipt.text).substr(begin, end - begin);
    const bool found = tavrik::WildcardFound(pattern, line);
    if (plain) Require(found == (line.find(pattern) != std::string_view::npos));
    if (const auto amount = tavrik::FirstAmount(line)) Require(std::isfinite(*amount));
    begin = end + 1;
  }

  std::vector<tavrik::RuleConfig> rules(4);
  rules[0].name = "match";
  rules[0].match = pattern;
  rules[1].name = "words";
  rules[1].words = {pattern};
  rules[2].name = "wildcard";
  rules[2].wildcard = pattern;
  rules[3].name = "amount";
  rules[3].amountAfter = pattern;
  rules[3].above = -1e300;
  tavrik::RuleSet set(rules);
  bool matched = false;
  for (const tavrik::RuleHit& hit : set.Match(receipt)) {
    Require(hit.rule < rules.size());
    Require(hit.line.find('\n') == std::string_view::npos);
    matched = matched || hit.rule == 0;
  }
  std::string text;
  std::string needle;
  tavrik::FoldCase(receipt.text, text);
  tavrik::FoldCase(pattern, needle);
  Require(matched == (text.find(needle) != std::string::npos));
  return 0;
}
