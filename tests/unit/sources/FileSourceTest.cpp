#include "sources/FileSource.h"

#include <gtest/gtest.h>

#include "support/RelayFixture.h"

namespace tavrik {
namespace {

class FileSourceTest : public test::RelayFixture {
 protected:
  FileSourceTest() {
    settings.spoolFile = "/spool/receipt.txt";
    settings.frameTimeoutMs = 200;
  }
  FakeSpoolContent& Spool() { return platform.Spool(settings.spoolFile); }
  void Write(const std::string& bytes) {
    Spool().exists = true;
    Spool().bytes += bytes;
  }
};

TEST_F(FileSourceTest, DataPresentAtSetUpIsSkipped) {
  Write("old");
  Start();
  EXPECT_EQ(relay->RecoveryState(), Recovery::kRunning);
  Spool().heldByWriter = true;
  platform.Advance(100);
  EXPECT_EQ(relay->Frames().Length(), 0);
  Write("new");
  platform.Advance(100);
  EXPECT_EQ(relay->Frames().Frame(), "new");
}

TEST_F(FileSourceTest, FileCreatedLaterIsRelayedAndTakenOver) {
  Start();
  const int client = StreamingClient();
  Write("receipt");
  platform.Advance(100);
  EXPECT_FALSE(Spool().exists);
  platform.Advance(200);
  EXPECT_EQ(Bodies(Client(client)), std::vector<std::string>{"receipt"});
  EXPECT_TRUE(log.Contains("Frame ready: 7 bytes. Frame info (StartTime EndTime EventCount): -1 / 0 / 0"));
  Write("again");  // the writer's fresh file is read from its start
  platform.Advance(300);
  EXPECT_EQ(Bodies(Client(client)), (std::vector<std::string>{"receipt", "again"}));
}

TEST_F(FileSourceTest, FileHeldByItsWriterIsReadBurstByBurstAndNeverTakenOver) {
  settings.frameTimeoutMs = 0;  // frames end only by cut or size
  Start();
  Spool().heldByWriter = true;
  Write("one");
  platform.Advance(100);
  Write("two");
  platform.Advance(100);
  platform.Advance(100);
  EXPECT_EQ(relay->Frames().Frame(), "onetwo");
  EXPECT_TRUE(Spool().exists);
  Spool().heldByWriter = false;
  platform.Advance(100);  // nothing new: no take-over is tried
  EXPECT_TRUE(Spool().exists);
  Write("three");
  platform.Advance(100);
  EXPECT_FALSE(Spool().exists);
  EXPECT_EQ(relay->Frames().Frame(), "onetwothree");
}

TEST_F(FileSourceTest, BytesAppendedBeforeTheTakeOverAndByStragglersAreRelayed) {
  Start();
  Write("measured");
  Spool().stragglers = "";
  platform.Advance(100);
  Spool().stragglers = "-late";
  platform.Advance(100);
  EXPECT_EQ(relay->Frames().Frame(), "measured-late");
}

TEST_F(FileSourceTest, ShorterFileIsSkippedAndOnlyItsGrowthRead) {
  settings.frameTimeoutMs = 0;
  Start();
  Spool().heldByWriter = true;
  Write("0123456789");
  platform.Advance(100);
  Spool().bytes = "abc";
  platform.Advance(100);
  Write("d");
  platform.Advance(100);
  EXPECT_EQ(relay->Frames().Frame(), "0123456789d");
}

TEST_F(FileSourceTest, GrowthAboveOneMebibyteReadsOnlyTheLastMebibyte) {
  Start();
  Write(std::string(2000000 - 1, 'x') + "!");
  platform.Advance(100);
  EXPECT_EQ(relay->Frames().Length(), 1048576);
  EXPECT_EQ(relay->Frames().Frame().back(), '!');
}

TEST_F(FileSourceTest, FailureIsLoggedEveryTickAndTheNextTickTriesAgain) {
  Start();
  Write("data");
  Spool().failRead = PlatformError(13, "Permission denied");
  platform.Advance(200);
  EXPECT_EQ(log.Count("Error while Opening SourceFile: 13 - Permission denied"), 2u);
  Spool().failRead.reset();
  platform.Advance(100);
  EXPECT_EQ(relay->Frames().Frame(), "data");
}

TEST_F(FileSourceTest, BusyClientPortIsRetriedWithBackOffAndReadingGoesOnWhereItStopped) {
  Write("old");
  Create();
  Listener().Fail("Listen", PlatformError(10048, "Address in use"));
  Start();
  EXPECT_EQ(log.Count("Error while Opening SourceFile: 10048 - Address in use"), 1u);
  EXPECT_EQ(relay->RecoveryState(), Recovery::kRetryPending);
  EXPECT_EQ(service.statuses.size(), 0u);
  platform.Advance(1000);  // first retry after 1 s, then 10 s
  EXPECT_EQ(log.Count("Error while Opening SourceFile: 10048 - Address in use"), 2u);
  EXPECT_EQ(service.statuses.back(), "Client port 8147 cannot be opened, retrying in 1 s");
  Write("meanwhile");
  platform.Advance(9999);
  EXPECT_EQ(service.statuses.back(), "Client port 8147 cannot be opened, retrying in 10 s");
  EXPECT_EQ(relay->Frames().Length(), 0) << "nothing is read while nobody can listen";
  Listener().StopFailing("Listen");
  platform.Advance(1);
  EXPECT_EQ(Listener().State(), SocketState::kListening);
  EXPECT_EQ(relay->RecoveryState(), Recovery::kRunning);
  platform.Advance(100);
  EXPECT_EQ(relay->Frames().Frame(), "meanwhile");
}

}  // namespace
}  // namespace tavrik
