#include "web/ReceiptFeed.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavrik {
namespace {

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
  // ESC t 19 selects CP858, where 0xD5 is the euro sign; GS V 0 cuts.
  const Payload& event =
      feed.Add("\x1b@Caf\x82 \"1\"\tX\r\n\x1bt\x13\xd5 2\n\x1dV\x00" + std::string(1, '\0'),
               "2026-12-07 10:00:00");
  EXPECT_EQ(std::string(event.View()),
            "id: 1\nevent: receipt\ndata: {\"seq\":1,\"time\":\"2026-12-07 10:00:00\",\"bytes\":24,"
            "\"cut\":true,\"text\":\"Caf\xC3\xA9 \\\"1\\\"        X\\n\xE2\x82\xAC 2\\n\"}\n\n");
  EXPECT_EQ(feed.NewestSeq(), 1u);
  EXPECT_EQ(feed.NewestTime(), "2026-12-07 10:00:00");
}

TEST(ReceiptFeed, DecoderStateCarriesToTheNextFrameUntilReset) {
  ReceiptFeed feed;
  feed.Add("\x1bt", "t");
  EXPECT_NE(std::string(feed.Add("\x13\xd5", "t").View()).find("\"text\":\"\xE2\x82\xAC\""),
            std::string::npos);
  feed.ResetDecoder();  // back to CP437, where 0xD5 is a box-drawing character
  EXPECT_NE(std::string(feed.Add("\xd5", "t").View()).find("\"text\":\"\xE2\x95\x92\""),
            std::string::npos);
}

TEST(ReceiptFeed, ReplaysTheHeldReceiptsAfterTheLastEventId) {
  ReceiptFeed feed;
  EXPECT_TRUE(feed.EventsAfter("").empty());
  for (const char* frame : {"r1\n", "r2\n", "r3\n"}) feed.Add(frame, "t");
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
  for (int i = 1; i <= 120; ++i) feed.Add("x", "t");
  const std::vector<Payload> all = feed.EventsAfter("");
  ASSERT_EQ(all.size(), ReceiptFeed::kHeldReceipts);
  EXPECT_EQ(Ids({all.front()}), "71 ");
  EXPECT_EQ(Ids({all.back()}), "120 ");
  EXPECT_EQ(Ids(feed.EventsAfter("10")), Ids(all));  // older than held: all that is held
  EXPECT_EQ(Ids(feed.EventsAfter("118")), "119 120 ");
}

}  // namespace
}  // namespace tavrik
