#include <gtest/gtest.h>

#include "load/LatencyHistogram.h"
#include "load/ReceiptTally.h"

namespace tavrik::load {
namespace {

TEST(ReceiptTallyTest, InOrderLosesNothing) {
  ReceiptTally tally;
  for (uint64_t seq = 1; seq <= 100; ++seq) tally.Receive(seq);
  EXPECT_EQ(tally.Received(), 100u);
  EXPECT_EQ(tally.Lost(100), 0u);
  EXPECT_EQ(tally.Lost(103), 3u) << "the missing tail counts";
  EXPECT_EQ(tally.Duplicated(), 0u);
}

TEST(ReceiptTallyTest, GapsDuplicatesAndLateReceipts) {
  ReceiptTally tally;
  tally.Receive(1);
  tally.Receive(4);  // 2 and 3 lost
  tally.Receive(4);  // duplicated
  tally.Receive(3);  // too late: out of order
  tally.Receive(5);
  EXPECT_EQ(tally.Received(), 3u);
  EXPECT_EQ(tally.Lost(5), 2u);
  EXPECT_EQ(tally.Duplicated(), 2u);
  EXPECT_EQ(tally.Highest(), 5u);
}

TEST(ReceiptTallyTest, NothingReceivedLosesAll) {
  ReceiptTally tally;
  EXPECT_EQ(tally.Lost(10), 10u);
  EXPECT_EQ(tally.Lost(0), 0u);
}

TEST(LatencyHistogramTest, PercentilesWithinOnePercent) {
  LatencyHistogram histogram;
  EXPECT_EQ(histogram.Percentile(0.5), 0);
  for (int64_t us = 1; us <= 1000; ++us) histogram.Add(us * 1000);
  EXPECT_EQ(histogram.Count(), 1000u);
  EXPECT_EQ(histogram.Max(), 1000000);
  EXPECT_NEAR(static_cast<double>(histogram.Percentile(0.50)), 500000.0, 5000.0);
  EXPECT_NEAR(static_cast<double>(histogram.Percentile(0.99)), 990000.0, 9900.0);
  EXPECT_LE(histogram.Percentile(1.0), histogram.Max());
}

TEST(LatencyHistogramTest, SmallAndNegativeValues) {
  LatencyHistogram histogram;
  histogram.Add(-5);  // a receipt that arrived before its write returned
  histogram.Add(3);
  histogram.Add(127);
  histogram.Add(128);
  EXPECT_EQ(histogram.Percentile(0.25), 0);
  EXPECT_EQ(histogram.Percentile(0.5), 3);
  EXPECT_EQ(histogram.Percentile(0.75), 127);
  EXPECT_EQ(histogram.Percentile(1.0), 128);
  histogram.Add(int64_t{1} << 62);
  EXPECT_EQ(histogram.Max(), int64_t{1} << 62);
}

}  // namespace
}  // namespace tavrik::load
