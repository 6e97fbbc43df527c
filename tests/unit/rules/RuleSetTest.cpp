#include "rules/RuleSet.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "rules/Amount.h"
#include "rules/RegexPattern.h"
#include "support/TestReceipts.h"

namespace tavrik {
namespace {

struct Case {
  const char* what;
  RuleConfig rule;
  std::string frame;
  bool matches;
  std::string line = "";
  std::optional<double> amount = std::nullopt;
};

using namespace std::string_literals;
const std::string kKick = "\x1B\x70\x00\x19\xFA"s;
const std::string kSaleAndKick = "SALE 1.00\n\x1B\x70\x00\x19\xFA"s;

TEST(RuleSetTest, ConditionsAllHoldAndNameTheirLine) {
  const Case cases[] = {
      {"contains, any case", RuleConfig{.match = "refund"}, "SALE 1.00\nRefund 12.50\n", true,
       "Refund 12.50"},
      {"contains, case-sensitive", RuleConfig{.match = "refund", .caseSensitive = true},
       "REFUND 12.50\n", false},
      {"contains: absent", RuleConfig{.match = "REFUND"}, "SALE 1.00\n", false},
      {"whole word", RuleConfig{.words = {"VOID", "STORNO"}}, "AVOIDED\nstorno 2\n", true,
       "storno 2"},
      {"word inside a word", RuleConfig{.words = {"VOID"}}, "AVOIDED\nVOIDS\n", false},
      {"word beside a non-ASCII letter", RuleConfig{.words = {"VOID"}}, "\x8EVOID\n", false},
      {"wildcard within a line", RuleConfig{.wildcard = "REF*ND ?"}, "x\nTOTAL REFUND 5\n", true,
       "TOTAL REFUND 5"},
      {"wildcard not across lines", RuleConfig{.wildcard = "REF*ND"}, "REF\nND\n", false},
      {"wildcard ? is one character", RuleConfig{.wildcard = "A?C"}, "A\x82" "C\n", true,
       "A\xC3\xA9" "C"},
      {"regex", RuleConfig{.regex = R"(DISC(OUNT)? -?\d+%)"}, "A\nDISC 30%\n", true,
       "DISC 30%"},
      {"regex ignores case unless told", RuleConfig{.regex = "void"}, "VOID\n", true, "VOID"},
      {"amount above", RuleConfig{.amountAfter = "TOTAL", .above = 500}, "TOTAL 612.00\n", true,
       "TOTAL 612.00", 612.0},
      {"amount with thousands", RuleConfig{.amountAfter = "TOTAL", .above = 500},
       "TOTAL EUR 1.234,56\n", true, "TOTAL EUR 1.234,56", 1234.56},
      {"amount not above", RuleConfig{.amountAfter = "TOTAL", .above = 500}, "TOTAL 499.99\n",
       false},
      {"label starts a word", RuleConfig{.amountAfter = "TOTAL", .above = 500},
       "SUBTOTAL 900.00\nTOTAL 9.00\n", false},
      {"some line within bounds", RuleConfig{.amountAfter = "DISCOUNT", .below = -20},
       "DISCOUNT -5.00\nDISCOUNT 25.00-\n", true, "DISCOUNT 25.00-", -25.0},
      {"no number after the label on its line", RuleConfig{.amountAfter = "TOTAL", .below = 1e9},
       "TOTAL\n12.00\n", false},
      {"drawer pulse alone: without_text", RuleConfig{.drawer = DrawerCondition::kWithoutText},
       kKick, true},
      {"text and pulse: not without_text", RuleConfig{.drawer = DrawerCondition::kWithoutText},
       kSaleAndKick, false},
      {"text and pulse: any", RuleConfig{.drawer = DrawerCondition::kAny}, kSaleAndKick,
       true},
      {"no pulse: not any", RuleConfig{.drawer = DrawerCondition::kAny}, "SALE 1.00\n", false},
      {"every condition must hold", RuleConfig{.match = "REFUND", .drawer = DrawerCondition::kAny},
       "REFUND 1.00\n", false},
      {"the first condition names the line",
       RuleConfig{.match = "REFUND", .amountAfter = "TOTAL", .below = 0},
       "REFUND\nTOTAL -3,50\n", true, "REFUND", -3.5},
  };
  for (const Case& c : cases) {
    if (!c.rule.regex.empty() && !RegexAvailable()) continue;  // the reader refuses such rules
    test::TestReceipts receipts;
    RuleSet set({c.rule});
    const std::vector<RuleHit>& hits = set.Match(*receipts.Next(c.frame).text);
    ASSERT_EQ(hits.size(), c.matches ? 1u : 0u) << c.what;
    if (!c.matches) continue;
    EXPECT_EQ(hits[0].line, c.line) << c.what;
    EXPECT_EQ(hits[0].amount, c.amount) << c.what;
  }
}

TEST(RuleSetTest, HitsComeInTheFilesOrderAndDrawerWatchesAreLeftOut) {
  const std::vector<RuleConfig> rules = {
      {.name = "watch", .drawerOpenTenths = 300},
      {.name = "a", .match = "X"},
      {.name = "b", .match = "Y"},
      {.name = "c", .match = "x", .caseSensitive = true},
  };
  test::TestReceipts receipts;
  RuleSet set(rules);
  const std::vector<RuleHit>& hits = set.Match(*receipts.Next("X Y\n").text);
  ASSERT_EQ(hits.size(), 2u);
  EXPECT_EQ(hits[0].rule, 1u);
  EXPECT_EQ(hits[1].rule, 2u);
}

TEST(AmountTest, SeparatorsSignsAndTheAmbiguousGroupOfThree) {
  const std::pair<const char*, std::optional<double>> cases[] = {
      {"12.50", 12.5},       {"12,50", 12.5},          {"1.234,56", 1234.56}, {"1,234.56", 1234.56},
      {"1 234,56", 1234.56}, {"1'234.56", 1234.56},    {"1,234", 1234.0},     {"1.234", 1234.0},
      {"1,23", 1.23},        {"1.234.567", 1234567.0}, {"-12.50", -12.5},     {"12.50-", -12.5},
      {"EUR 7", 7.0},        {"2 12.50", 2.0},         {"12.", 12.0},         {"none", std::nullopt},
      {"5 - 3", 5.0},        {"A-1", -1.0},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(FirstAmount(text), expected) << text;
}

}  // namespace
}  // namespace tavrik
