#include "search/sqlite/JournalReader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "platform/fake/FakePlatform.h"
#include "unit/search/sqlite/TestJournal.h"

namespace tavrik {
namespace {

std::vector<uint64_t> Seqs(const ArchivePage& page) {
  std::vector<uint64_t> seqs;
  for (const StoredReceipt& receipt : page.receipts) seqs.push_back(receipt.seq);
  return seqs;
}

class JournalReaderTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("TZ", "UTC0", 1);
    tzset();
  }

  ReceiptQuery Query(const std::string& text) {
    const ReceiptQueryParse parse = ParseReceiptQuery(text);
    EXPECT_EQ(parse.error, "") << text;
    return parse.query;
  }
  ArchivePage Search(const std::string& query) {
    ArchivePage page;
    page.error = "no answer";
    reader.Search(Query(query), [&](ArchivePage answer) { page = std::move(answer); });
    platform.RunPosted();
    return page;
  }
  ArchivePage Find(uint64_t seq) {
    ArchivePage page;
    reader.Find(seq, [&](ArchivePage answer) { page = std::move(answer); });
    platform.RunPosted();
    return page;
  }

  FakePlatform platform;
  test::TestJournal journal;
  JournalReader reader{platform, journal.Path()};
};

// Receipts 1..120; every 17th one has a refund.
void AddNumbered(test::TestJournal& journal, uint64_t count) {
  for (uint64_t seq = 1; seq <= count; ++seq) {
    journal.Add(seq, "RECEIPT " + std::to_string(seq) +
                         (seq % 17 == 0 ? "\nREFUND 2.50\n" : "\nSALE 9.99\n"));
  }
}

TEST_F(JournalReaderTest, PagesMatchesNewestFirstUntilNoneFollow) {
  AddNumbered(journal, 120);
  ArchivePage page = Search("q=refund&limit=3");
  ASSERT_EQ(page.error, "");
  EXPECT_EQ(Seqs(page), (std::vector<uint64_t>{119, 102, 85}));
  ASSERT_EQ(page.next, 85u);
  page = Search("q=refund&limit=3&before=85");
  EXPECT_EQ(Seqs(page), (std::vector<uint64_t>{68, 51, 34}));
  page = Search("q=refund&limit=3&before=34");
  EXPECT_EQ(Seqs(page), (std::vector<uint64_t>{17}));
  EXPECT_FALSE(page.next);
  // A full last page has no next either.
  EXPECT_FALSE(Search("q=refund&limit=7").next);

  EXPECT_EQ(Seqs(Search("q=refu*+-receipt")), std::vector<uint64_t>{});
  EXPECT_EQ(Seqs(Search("q=sale+-%22receipt+1%22&limit=2")), (std::vector<uint64_t>{120, 118}));
  EXPECT_EQ(Seqs(Search("q=%22receipt+34%22+OR+%22receipt+35%22")),
            (std::vector<uint64_t>{35, 34}));
  page = Search("limit=2&before=3");
  EXPECT_EQ(Seqs(page), (std::vector<uint64_t>{2, 1}));
  EXPECT_FALSE(page.next);
}

TEST_F(JournalReaderTest, LimitsToTheDatesGivenWithToInclusive) {
  AddNumbered(journal, 120);  // 2026-01-01 00:00 .. 01:59, a minute apart
  EXPECT_EQ(Seqs(Search("from=2026-01-01T01:55")),
            (std::vector<uint64_t>{120, 119, 118, 117, 116}));
  EXPECT_EQ(Seqs(Search("from=2026-01-01T00:10&to=2026-01-01T00:12")),
            (std::vector<uint64_t>{13, 12, 11}));
  EXPECT_EQ(Seqs(Search("q=refund&from=2026-01-01T00:30&to=2026-01-01T01:10")),
            (std::vector<uint64_t>{68, 51, 34}));
  EXPECT_EQ(Search("to=2026-01-01&limit=500").receipts.size(), 120u);
  EXPECT_EQ(Seqs(Search("from=2026-01-02")), std::vector<uint64_t>{});
  EXPECT_EQ(Seqs(Search("to=2025-12-31")), std::vector<uint64_t>{});
}

TEST_F(JournalReaderTest, FindsOneReceiptWithItsFacts) {
  journal.Add(
      1, "first",
      R"({"drawer":[{"pin":2,"onMs":100,"offMs":500}],"codes":[{"symbology":"QR","data":"x"}]})",
      R"([ "refund" ])");
  journal.Add(2, "second", "{not json", "7");
  ArchivePage page = Find(1);
  ASSERT_EQ(page.receipts.size(), 1u);
  const StoredReceipt& first = page.receipts[0];
  EXPECT_EQ(first.time, "2026-01-01 00:00:00");
  EXPECT_EQ(first.epochMs, test::TestJournal::kStartMs);
  EXPECT_EQ(first.text, "first");
  EXPECT_TRUE(first.cut);
  EXPECT_EQ(first.drawer, R"([{"pin":2,"onMs":100,"offMs":500}])");
  EXPECT_EQ(first.codes, R"([{"symbology":"QR","data":"x"}])");
  EXPECT_EQ(first.images, "[]");
  EXPECT_EQ(first.rules, R"(["refund"])");
  EXPECT_EQ(first.rawBytes, -1);
  page = Find(2);  // malformed facts read as none
  ASSERT_EQ(page.receipts.size(), 1u);
  EXPECT_EQ(page.receipts[0].drawer + page.receipts[0].codes + page.receipts[0].rules, "[][][]");
  EXPECT_TRUE(Find(3).receipts.empty());
  EXPECT_EQ(Find(3).error, "");
}

TEST_F(JournalReaderTest, KeepsToTheReceiptsThatHitTheRuleNamed) {
  journal.Add(1, "REFUND 1", nullptr, R"(["refund"])");
  journal.Add(2, "SALE 2");
  journal.Add(3, "REFUND 3 VOID", nullptr, R"(["void","refund"])");
  journal.Add(4, "REFUND 4", nullptr, "{not json");
  journal.Add(5, "REFUND 5", nullptr, R"({"refund":"refund"})");
  journal.Add(6, "REFUND 6", nullptr, R"(["refunds",7])");
  journal.Add(7, "x'); DROP TABLE receipts; --", nullptr, R"(["x'); DROP TABLE receipts; --"])");
  const struct {
    const char* query;
    std::vector<uint64_t> seqs;
  } cases[] = {
      {"rule=refund", {3, 1}},
      {"rule=refund&q=void", {3}},
      {"rule=refund&limit=1&before=3", {1}},
      {"rule=void&to=2026-01-01T00:01", {}},
      {"rule=ref", {}},
      {"rule=x%27)%3B+DROP+TABLE+receipts%3B+--", {7}},
      {"rule=", {7, 6, 5, 4, 3, 2, 1}},
  };
  for (const auto& c : cases) {
    const ArchivePage page = Search(c.query);
    EXPECT_EQ(page.error, "") << c.query;
    EXPECT_EQ(Seqs(page), c.seqs) << c.query;
  }
  ArchivePage chunk;
  reader.Export(Query("rule=void"))->Pull([&](ArchivePage answer) { chunk = std::move(answer); });
  platform.RunPosted();
  EXPECT_EQ(Seqs(chunk), std::vector<uint64_t>{3});
}

TEST_F(JournalReaderTest, ExportsInChunksOfBoundedText) {
  const std::string line(1000, 'x');
  for (uint64_t seq = 1; seq <= 100; ++seq)
    journal.Add(seq, line + (seq % 10 == 0 ? " refund" : ""));
  const auto cursor = reader.Export(Query("q=x*"));
  std::vector<uint64_t> seqs;
  int chunks = 0;
  for (bool more = true; more;) {
    cursor->Pull([&](ArchivePage page) {
      EXPECT_EQ(page.error, "");
      more = !page.receipts.empty();
      size_t text = 0;
      for (const StoredReceipt& receipt : page.receipts) text += receipt.text.size();
      EXPECT_LE(text, JournalConnection::kChunkTextBytes + line.size() + 7);
      for (uint64_t seq : Seqs(page)) seqs.push_back(seq);
      chunks += more ? 1 : 0;
    });
    platform.RunPosted();
    ASSERT_LT(chunks, 10);
  }
  EXPECT_EQ(chunks, 4);  // 33 receipts of about 1 KB each fill a chunk
  ASSERT_EQ(seqs.size(), 100u);
  for (size_t i = 0; i < seqs.size(); ++i) EXPECT_EQ(seqs[i], 100 - i);
}

TEST_F(JournalReaderTest, GivesTheNewestReceiptsBetweenTwoNumbersOldestFirst) {
  AddNumbered(journal, 120);
  ArchivePage page;
  reader.Between(90, 100, 0, 5, [&](ArchivePage answer) { page = std::move(answer); });
  platform.RunPosted();
  EXPECT_EQ(Seqs(page), (std::vector<uint64_t>{95, 96, 97, 98, 99}));
  // Of the last 10 minutes only: receipts 111.. are that young.
  reader.Between(100, 200, test::TestJournal::kStartMs + 110 * test::TestJournal::kStepMs, 1000,
                 [&](ArchivePage answer) { page = std::move(answer); });
  platform.RunPosted();
  EXPECT_EQ(Seqs(page), (std::vector<uint64_t>{111, 112, 113, 114, 115, 116, 117, 118, 119, 120}));
}

TEST_F(JournalReaderTest, AnswersAnErrorUntilTheJournalCanBeReadAndFollowsItsFile) {
  ArchivePage page = Search("q=refund");
  EXPECT_NE(page.error.find("the journal cannot be read"), std::string::npos) << page.error;
  AddNumbered(journal, 20);
  page = Search("q=refund");
  EXPECT_EQ(page.error, "");
  EXPECT_EQ(Seqs(page), std::vector<uint64_t>{17});
  journal.Recreate();  // the old file, removed, would still answer
  journal.Add(30, "REFUND");
  EXPECT_EQ(Seqs(Search("q=refund")), std::vector<uint64_t>{30});
}

}  // namespace
}  // namespace tavrik
