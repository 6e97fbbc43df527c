#include "rules/RuleEngine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/fake/FakePlatform.h"
#include "support/TestReceipts.h"

namespace tavrik {
namespace {

using ::testing::EndsWith;
using ::testing::StartsWith;

RuleConfig Named(const char* name) {
  RuleConfig rule;
  rule.name = name;
  return rule;
}

class RuleEngineTest : public ::testing::Test {
 protected:
  RuleEngineTest() {
    RuleConfig refund = Named("refund");
    refund.match = "REFUND";
    refund.outputs = {"web"};
    RuleConfig drawer = Named("drawer");
    drawer.drawerOpenTenths = 300;
    drawer.drawerOpenHigh = true;
    RuleConfig noSale = Named("no sale");
    noSale.drawer = DrawerCondition::kWithoutText;
    engine_ = std::make_unique<RuleEngine>(platform_, std::vector<RuleConfig>{refund, drawer, noSale}, "till 3",
                                           "http://till:8080/");
    engine_->AddSink("web", [this](const RuleEvent& event) { web_.emplace_back(event.json); });
    engine_->AddSink("mqtt", [this](const RuleEvent& event) { mqtt_.emplace_back(event.json); });
  }

  std::vector<std::string_view> Match(const std::string& frame) {
    const std::span<const std::string_view> names = engine_->Match(receipts_.Next(frame));
    return {names.begin(), names.end()};
  }

  FakePlatform platform_;
  test::TestReceipts receipts_;
  std::unique_ptr<RuleEngine> engine_;
  std::vector<std::string> web_;
  std::vector<std::string> mqtt_;
};

TEST_F(RuleEngineTest, AHitNamesItsRuleAndGoesToTheSinksTheRuleNames) {
  EXPECT_TRUE(Match("SALE 1.00\n").empty());
  EXPECT_EQ(Match("SALE\nREFUND 12.50\n"), std::vector<std::string_view>{"refund"});
  ASSERT_EQ(web_.size(), 1u);
  EXPECT_EQ(web_[0],
            R"({"type":"rule","rule":"refund","seq":2,"time":"2026-12-07 12:00:00","epochMs":1796644800000,)"
            R"("till":"till 3","line":"REFUND 12.50","amount":null,"text":"SALE\nREFUND 12.50\n",)"
            R"("url":"http://till:8080/#seq=2"})");
  EXPECT_TRUE(mqtt_.empty());
  EXPECT_EQ(Match(std::string("\x1B\x70\x00\x19\xFA", 5)), std::vector<std::string_view>{"no sale"});
  EXPECT_EQ(web_.size(), 2u);
  EXPECT_EQ(mqtt_.size(), 1u);
  const std::vector<RuleCount> counts = engine_->Counts();
  ASSERT_EQ(counts.size(), 3u);
  EXPECT_EQ(counts[0].matches, 1u);
  EXPECT_EQ(counts[1].matches, 0u);
  EXPECT_EQ(counts[2].matches, 1u);
}

TEST_F(RuleEngineTest, ADrawerOpenPastItsThresholdRaisesOneEventAndItsClosingAnother) {
  engine_->OnDrawerLevel(true);
  platform_.Advance(10000);
  engine_->OnDrawerLevel(true);  // the POS polls again
  platform_.Advance(21000);
  ASSERT_EQ(mqtt_.size(), 1u);
  EXPECT_THAT(mqtt_[0], StartsWith(R"({"type":"drawer_open","rule":"drawer","seconds":30,)"));
  platform_.Advance(60000);
  engine_->OnDrawerLevel(true);
  EXPECT_EQ(mqtt_.size(), 1u);
  engine_->OnDrawerLevel(false);
  ASSERT_EQ(mqtt_.size(), 2u);
  EXPECT_THAT(mqtt_[1], StartsWith(R"({"type":"drawer_closed","rule":"drawer","seconds":91,)"));
  EXPECT_THAT(mqtt_[1], EndsWith(R"("till":"till 3"})"));
  EXPECT_EQ(engine_->Counts()[1].matches, 1u);
}

}  // namespace
}  // namespace tavrik
