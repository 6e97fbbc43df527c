#include "rules/DrawerWatch.h"

#include <gtest/gtest.h>

namespace tavrik {
namespace {

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
