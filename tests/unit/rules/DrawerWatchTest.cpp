#include "rules/DrawerWatch.h"

#include <gtest/gtest.h>

namespace tavrik {
namespace {

TEST(DrawerWatchTest, OpenPastTheThresholdIsReportedOnceThenItsClosing) {
  DrawerWatch watch(30000, true);
  EXPECT_FALSE(watch.OnLevel(true, 1000));
  EXPECT_EQ(watch.Deadline(), 31000);
  EXPECT_FALSE(watch.OnTime(30999));
  EXPECT_FALSE(watch.OnLevel(true, 20000));  // still open: timed from the first reply
  const std::optional<DrawerEvent> open = watch.OnTime(31000);
  ASSERT_TRUE(open);
  EXPECT_EQ(open->kind, DrawerEventKind::kOpen);
  EXPECT_EQ(open->openMs, 30000);
  EXPECT_FALSE(watch.Deadline());
  EXPECT_FALSE(watch.OnLevel(true, 40000));
  EXPECT_FALSE(watch.OnTime(50000));
  const std::optional<DrawerEvent> closed = watch.OnLevel(false, 32000 + 1000);
  ASSERT_TRUE(closed);
  EXPECT_EQ(closed->kind, DrawerEventKind::kClosed);
  EXPECT_EQ(closed->openMs, 32000);
  EXPECT_FALSE(watch.OnLevel(false, 34000));
}

TEST(DrawerWatchTest, ClosedInTimeSaysNothingAndPolarityDecidesWhatOpenIs) {
  DrawerWatch high(30000, true);
  EXPECT_FALSE(high.OnLevel(true, 0));
  EXPECT_FALSE(high.OnLevel(false, 29999));
  EXPECT_FALSE(high.OnTime(40000));
  EXPECT_FALSE(high.Deadline());

  DrawerWatch low(30000, false);
  EXPECT_FALSE(low.OnLevel(true, 0));  // high means closed here
  EXPECT_FALSE(low.Deadline());
  EXPECT_FALSE(low.OnLevel(false, 1000));
  // A reply that comes after a late timer reports it all the same.
  const std::optional<DrawerEvent> open = low.OnLevel(false, 32000);
  ASSERT_TRUE(open);
  EXPECT_EQ(open->openMs, 31000);
}

}  // namespace
}  // namespace tavrik
