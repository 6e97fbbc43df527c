// What the rules cost per receipt: 64 rules (a quarter of them regular
// expressions, the rest contains, words, wildcard and amount rules) on a
// 1 KB receipt that matches none, and one regex rule against 100 KB of
// hostile text. Goals: at most 20 us per receipt; under 1 ms for the
// hostile one; no allocation per receipt.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "AllocationCounter.h"
#include "receipt/ReceiptDecoder.h"
#include "rules/RuleSet.h"

namespace tavrik {
namespace {

using namespace std::string_literals;

std::vector<RuleConfig> SixtyFourRules() {
  std::vector<RuleConfig> rules;
  for (int i = 0; i < 64; ++i) {
    RuleConfig rule;
    rule.name = "rule " + std::to_string(i);
    const std::string word = "WORD" + std::to_string(i);
    switch (i % 4) {
      case 0: rule.regex = "(VOID|STORNO)\\s+" + std::to_string(i) + "\\d*"; break;
      case 1: rule.match = "refund " + std::to_string(i); break;
      case 2: rule.words = {word, "X" + word}; rule.caseSensitive = i % 8 == 2; break;
      case 3:
        if (i % 8 == 3) {
          rule.wildcard = "REF*ND ?" + std::to_string(i);
        } else {
          rule.amountAfter = "TOTAL";
          rule.above = 500 + i;
        }
        break;
    }
    rules.push_back(rule);
  }
  return rules;
}

ReceiptText Decoded(const std::string& frame) {
  ReceiptDecoder decoder;
  ReceiptText text;
  decoder.Decode(frame, text);
  return text;
}

std::string KilobyteReceipt() {
  std::string receipt = "\x1b@CORNER BAKERY\n"s;
  while (receipt.size() < 950) receipt += "Sourdough loaf          4.20\nCroissant x2            3.60\n";
  return receipt + "TOTAL 42.00\nThank you!\n\x1dV\x41\x03"s;
}

void BM_SixtyFourRulesPerReceipt(benchmark::State& state) {
  RuleSet rules(SixtyFourRules());
  const ReceiptText text = Decoded(KilobyteReceipt());
  rules.Match(text);  // warms the buffers and the regular expressions' caches
  const long before = bench::allocations.load();
  for (auto _ : state) benchmark::DoNotOptimize(rules.Match(text).size());
  state.counters["allocs/receipt"] =
      benchmark::Counter(static_cast<double>(bench::allocations.load() - before) / static_cast<double>(state.iterations()));
  state.counters["bytes"] = static_cast<double>(text.text.size());
}
BENCHMARK(BM_SixtyFourRulesPerReceipt)->Unit(benchmark::kMicrosecond);

void BM_HostileReceiptAgainstNestedRepetition(benchmark::State& state) {
  RuleConfig rule;
  rule.name = "hostile";
  rule.regex = "(a+)+b";
  RuleSet rules({rule});
  const ReceiptText text = Decoded(std::string(100 * 1024, 'a'));
  for (auto _ : state) benchmark::DoNotOptimize(rules.Match(text).size());
  state.counters["bytes"] = static_cast<double>(text.text.size());
}
BENCHMARK(BM_HostileReceiptAgainstNestedRepetition)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tavrik

BENCHMARK_MAIN();
