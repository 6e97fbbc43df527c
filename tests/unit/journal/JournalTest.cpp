// The journal's queue, batches and outages on the fake platform, with a
// store whose disk the test fills, removes and mends.
#include "journal/Journal.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string_view>

#include "support/FakeJournalStore.h"
#include "platform/fake/FakePlatform.h"
#include "support/LogCapture.h"
#include "support/TestReceipts.h"

namespace tavrik {
namespace {

using namespace std::string_literals;

class JournalTest : public ::testing::Test {
 protected:
  void Make(uint64_t lastSeq = 0) {
    disk.lastSeq = lastSeq;
    journal = std::make_unique<Journal>(platform, config, std::make_unique<test::FakeJournalStore>(disk));
    ASSERT_EQ(journal->Open(), std::nullopt);
    receipts.emplace(journal->LastSequenceAtStart());
    journal->Start();
    worker = platform.Workers().back();
  }
  void Receipt(const std::string& text = "x\n") { journal->OnReceipt(receipts->Next(text)); }
  std::string Rows() const {
    std::string seqs;
    for (const JournalEntry& row : disk.rows) seqs += std::to_string(row.sequence) + " ";
    return seqs;
  }

  test::LogCapture log{0};
  FakePlatform platform;
  test::FakeJournalDisk disk;
  JournalConfig config{"j.db"};
  std::unique_ptr<Journal> journal;
  FakeBackgroundWorker* worker = nullptr;
  std::optional<test::TestReceipts> receipts;
};

TEST_F(JournalTest, NumbersGoOnAndEachReceiptIsCommittedWithinABatchOneBatchAtATime) {
  Make(41);
  EXPECT_TRUE(log.Contains("Journal: j.db, receipts numbered from 42."));
  EXPECT_EQ(worker->Priority(), WorkerPriority::kIdle) << "its writes leave the CPU to the clients first";
  Receipt();
  platform.Advance(Journal::kBatchIntervalMs);
  EXPECT_EQ(Rows(), "42 ");
  worker->Hold();  // a slow disk
  Receipt();
  Receipt();
  platform.Advance(Journal::kBatchIntervalMs);
  Receipt();
  platform.Advance(5 * Journal::kBatchIntervalMs);
  EXPECT_EQ(worker->Pending(), 2u);  // one batch and one index job, however long the disk takes
  EXPECT_EQ(journal->Counters().queued, 3u);
  worker->Release();
  platform.Advance(Journal::kBatchIntervalMs);
  EXPECT_EQ(Rows(), "42 43 44 45 ");
  const JournalCounters counters = journal->Counters();
  EXPECT_EQ(counters.written, 4u);
  EXPECT_EQ(counters.lastSeq, 45u);
  EXPECT_EQ(counters.queued, 0u);
  platform.Advance(Journal::kRetryMs);
  EXPECT_GE(disk.retentionSteps, 1);  // between the batches
}

TEST_F(JournalTest, TheQueueIsBoundedInReceiptsAndBytesAndCountsWhatItTurnsAway) {
  Make();
  worker->Hold();
  for (size_t i = 0; i < Journal::kMaxQueued + 3; ++i) Receipt();
  EXPECT_EQ(journal->Counters().queued, Journal::kMaxQueued);
  EXPECT_EQ(journal->Counters().dropped, 3u);
  worker->Release();
  platform.Advance(3000);
  EXPECT_EQ(disk.rows.size(), Journal::kMaxQueued);
  EXPECT_EQ(disk.rows.back().sequence, Journal::kMaxQueued);  // the newest were turned away
  EXPECT_EQ(log.Count("Journal: j.db cannot keep up: receipts are dropped while its queue is full."), 1u);
  EXPECT_EQ(log.Count("Journal: j.db caught up; 3 receipts dropped."), 1u);

  worker->Hold();
  ReceiptText big{std::string(8u << 20, 'x'), false};
  ReceiptRecord record;
  record.text = &big;
  for (int i = 0; i < 9; ++i) journal->OnReceipt(record);  // 3 dropped before
  EXPECT_EQ(journal->Counters().queued, 3u);  // 8 MiB each, 32 MiB at most
  EXPECT_EQ(journal->Counters().dropped, 9u);
}

TEST_F(JournalTest, AnOutageKeepsTheReceiptsInOrderLogsOnceRetriesEachSecondAndResumes) {
  Make();
  Receipt();
  platform.Advance(Journal::kBatchIntervalMs);
  disk.failure = "disk full";
  for (int i = 0; i < 3; ++i) Receipt();
  const int opens = disk.opens;
  platform.Advance(3000);
  EXPECT_LE(disk.opens - opens, 3);
  EXPECT_GE(disk.opens - opens, 2);
  JournalCounters counters = journal->Counters();
  EXPECT_FALSE(counters.writing);
  EXPECT_EQ(counters.error, "disk full");
  EXPECT_EQ(counters.queued, 3u);
  disk.failure.reset();
  Receipt();
  platform.Advance(Journal::kRetryMs);
  EXPECT_EQ(Rows(), "1 2 3 4 5 ");
  counters = journal->Counters();
  EXPECT_TRUE(counters.writing);
  EXPECT_EQ(counters.error, "");
  EXPECT_EQ(log.Messages(), (std::vector<std::string>{"Journal: j.db, receipts numbered from 1.",
                                                      "Journal: cannot write j.db: disk full.",
                                                      "Journal: writing j.db again."}));
}

TEST_F(JournalTest, ARemovedFileIsSeenIdleOrAfterAWriteAndCreatedAgainWithWhatWentNowhere) {
  Make();
  disk.removed = true;
  platform.Advance(Journal::kRetryMs);
  EXPECT_EQ(journal->Counters().error, "the file was removed");
  platform.Advance(Journal::kRetryMs);
  EXPECT_TRUE(journal->Counters().writing);
  disk.removed = true;
  Receipt();  // written into the removed file
  platform.Advance(Journal::kBatchIntervalMs);
  EXPECT_FALSE(journal->Counters().writing);
  platform.Advance(Journal::kRetryMs);
  EXPECT_EQ(Rows(), "1 ");
  EXPECT_EQ(log.Count("Journal: cannot write j.db: the file was removed."), 2u);
  EXPECT_EQ(log.Count("Journal: writing j.db again."), 2u);

  // The receipts gone with the old file do not wait for the new one's index.
  disk.removed = true;
  platform.Advance(3 * Journal::kRetryMs);  // seen, made anew, its index looked at
  EXPECT_TRUE(journal->Counters().writing);
  EXPECT_EQ(Rows(), "");
  EXPECT_EQ(journal->Counters().unindexed, 0u);
}

TEST_F(JournalTest, TheIndexFollowsTheWritesInBoundedJobsAndTellsOnlyItsOwnOutage) {
  Make();
  worker->Hold();  // a busy CPU
  for (int i = 0; i < 2500; ++i) Receipt();
  platform.Advance(Journal::kBatchIntervalMs);
  EXPECT_EQ(journal->Counters().unindexed, 0u);  // nothing committed yet
  worker->Release();
  platform.Advance(2 * Journal::kBatchIntervalMs);
  // A batch waits behind one index job, not behind the index's whole lag.
  EXPECT_EQ(disk.calls.substr(0, 16), "W2000 I W500 I I");
  EXPECT_EQ(disk.rows.size(), 2500u);
  EXPECT_EQ(journal->Counters().unindexed, 0u);

  disk.indexFailure = "database disk image is malformed";
  Receipt();
  platform.Advance(3 * Journal::kRetryMs);
  EXPECT_EQ(disk.rows.size(), 2501u);
  EXPECT_EQ(journal->Counters().unindexed, 1u);
  disk.indexFailure.reset();
  platform.Advance(Journal::kRetryMs);
  EXPECT_EQ(journal->Counters().unindexed, 0u);
  EXPECT_EQ(log.Count("Journal: cannot index j.db: database disk image is malformed."), 1u);
  EXPECT_EQ(log.Count("Journal: indexing j.db again."), 1u);
}

TEST_F(JournalTest, StopHandsTheRestOverAndTheWorkersEndWritesIt) {
  Make();
  worker->Hold();
  Receipt();
  platform.Advance(Journal::kBatchIntervalMs);  // in flight
  Receipt();
  journal->Stop();
  Receipt();  // the pipeline's last moment
  journal.reset();
  EXPECT_EQ(Rows(), "1 2 3 ");
}

TEST(JournalEntryTest, KeepsFactsAsJsonAndTheRawBytesOnlyWhenAsked) {
  test::TestReceipts receipts;
  const ReceiptRecord& drawer = receipts.Next("\x1bp\x00\x32\xfa" "paid\n"s);
  JournalEntry entry;
  FillJournalEntry(entry, drawer, false);
  EXPECT_EQ(entry.text, "paid\n");
  EXPECT_EQ(entry.facts, R"({"drawer":[{"pin":2,"onMs":100,"offMs":500}]})");
  EXPECT_EQ(entry.raw, "");
  FillJournalEntry(entry, drawer, true);
  EXPECT_EQ(entry.raw, std::string(drawer.bytes));
  EXPECT_EQ(entry.rules, "");
  ReceiptRecord hit = receipts.Next("REFUND\n");
  const std::array<std::string_view, 2> names{"refund", "say \"no\""};
  hit.rules = names;
  FillJournalEntry(entry, hit, false);
  EXPECT_EQ(entry.rules, R"(["refund","say \"no\""])");
  FillJournalEntry(entry, receipts.Next("plain\n"), false);  // reused: nothing of the last one stays
  EXPECT_EQ(entry.text + entry.facts + entry.rules + entry.raw, "plain\n");
}

}  // namespace
}  // namespace tavrik
