#include "web/ReceiptFeed.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/TestReceipts.h"

namespace tavrik {
namespace {

using namespace std::string_literals;

std::vector<std::string> Texts(const std::vector<Payload>& events) {
  std::vector<std::string> texts;
  for (const Payload& event : events) texts.emplace_back(event.View());
  return texts;
}

std::string Ids(const std::vector<Payload>& events) {
  std::string ids;
  for (const Payload& event : events) {
    const std::string_view text = event.View();
    ids += std::string(text.substr(4, text.find('\n') - 4)) + " ";
  }
  return ids;
}

TEST(ReceiptFeed, EventCarriesNumberTimeSizeCutAndDecodedText) {
  ReceiptFeed feed;
  test::TestReceipts receipts;
  // ESC t 19 selects CP858, where 0xD5 is the euro sign; GS V 0 cuts.
  const std::string frame = "\x1b@Caf\x82 \"1\"\tX\r\n\x1bt\x13\xd5 2\n\x1dV\x00"s;
  const Payload& event = feed.Add(receipts.Next(frame, "2026-12-07 10:00:00"));
  EXPECT_EQ(std::string(event.View()),
            "id: 1\nevent: receipt\ndata: {\"seq\":1,\"time\":\"2026-12-07 10:00:00\",\"bytes\":24,"
            "\"cut\":true,\"text\":\"Caf\xC3\xA9 \\\"1\\\"        X\\n\xE2\x82\xAC 2\\n\","
            "\"epochMs\":1796644800000,\"utcOffset\":\"+00:00\"}\n\n");
  EXPECT_EQ(feed.NewestSeq(), 1u);
}

TEST(ReceiptFeed, ReplaysTheHeldReceiptsAfterTheLastEventId) {
  ReceiptFeed feed;
  test::TestReceipts receipts;
  EXPECT_TRUE(feed.EventsAfter("").empty());
  for (const char* frame : {"r1\n", "r2\n", "r3\n"}) feed.Add(receipts.Next(frame));
  EXPECT_EQ(Ids(feed.EventsAfter("")), "1 2 3 ");
  EXPECT_EQ(Ids(feed.EventsAfter("1")), "2 3 ");
  EXPECT_EQ(Ids(feed.EventsAfter("3")), "");
  // No number, or one not given out: nothing is known to follow it.
  for (const char* unknown : {"x", "2x", "-1", "+1", " 1", "4", "18446744073709551616"}) {
    EXPECT_EQ(Ids(feed.EventsAfter(unknown)), "") << unknown;
  }
  EXPECT_NE(Texts(feed.EventsAfter("2"))[0].find("\"text\":\"r3\\n\""), std::string::npos);
}

TEST(ReceiptFeed, HoldsTheLastFiftyReceipts) {
  ReceiptFeed feed;
  test::TestReceipts receipts;
  for (int i = 1; i <= 120; ++i) feed.Add(receipts.Next("x"));
  const std::vector<Payload> all = feed.EventsAfter("");
  ASSERT_EQ(all.size(), ReceiptFeed::kHeldReceipts);
  EXPECT_EQ(Ids({all.front()}), "71 ");
  EXPECT_EQ(Ids({all.back()}), "120 ");
  EXPECT_EQ(Ids(feed.EventsAfter("10")), Ids(all));  // older than held: all that is held
  EXPECT_EQ(Ids(feed.EventsAfter("118")), "119 120 ");
}

TEST(ReceiptFeed, NumbersGoingOnFromAnEarlierRunReplayOnlyWhatIsHeld) {
  ReceiptFeed feed;
  test::TestReceipts receipts(1000);
  feed.Add(receipts.Next("r1001\n"));
  EXPECT_EQ(Ids(feed.EventsAfter("")), "1001 ");
  EXPECT_EQ(Ids(feed.EventsAfter("990")), "1001 ");  // from before the restart
  for (int i = 0; i < 59; ++i) feed.Add(receipts.Next("x"));
  EXPECT_EQ(feed.EventsAfter("").size(), ReceiptFeed::kHeldReceipts);
  EXPECT_EQ(Ids(feed.EventsAfter("1058")), "1059 1060 ");
}

}  // namespace
}  // namespace tavrik
