#include "sources/SerialSource.h"

#include <gtest/gtest.h>

#include "support/RelayFixture.h"

namespace tavrik {
namespace {

class SerialSourceTest : public test::RelayFixture {
 protected:
  SerialSourceTest() { settings.CutDetection = true; }
};

TEST_F(SerialSourceTest, ChunksJoinIntoAFrameCutAtTheCommand) {
  Load();
  const int client = StreamingClient();
  Serial().Receive("receipt\x1d");
  Serial().Receive("Vnext");
  EXPECT_EQ(Bodies(Client(client)), std::vector<std::string>{"receipt\x1dV"});
  EXPECT_EQ(form->Frames().Frame(), "next");
  EXPECT_TRUE(log.Contains("OnComm(2) : 'receipt\x1d'"));
}

TEST_F(SerialSourceTest, EmptyNotificationOnlyStampsTheStart) {
  Load();
  platform.SimulatedClock().SetStartOfDay(5000);
  log.Clear();
  Serial().Notify();
  EXPECT_EQ(form->Frames().FrameStartTime, 5000);
  EXPECT_EQ(form->Frames().EventCount, 0);
  EXPECT_TRUE(log.Messages().empty());
}

TEST_F(SerialSourceTest, ChunkIsDroppedWhileAResetIsPending) {
  Create();
  Serial().failOpen = PlatformError(8002, "Invalid port number");
  Load();
  Serial().failOpen.reset();
  Serial().SetPortOpen(true);
  Serial().Receive("lost");
  EXPECT_EQ(form->Frames().FrameLength(), 0);
  EXPECT_EQ(Serial().InBufferCount(), 0);
}

TEST_F(SerialSourceTest, CharactersArrivingDuringProcessingAreReadInTheSameCall) {
  Load();
  Serial().ArriveDuringRead("more");
  Serial().Receive("first");
  EXPECT_EQ(form->Frames().Frame(), "firstmore");
  EXPECT_EQ(form->Frames().EventCount, 2);
  EXPECT_TRUE(log.Contains("OnComm(2) : 'more'"));
}

TEST_F(SerialSourceTest, FrameAbove40960IsSentExactly40960Kept) {
  Load();
  Serial().Receive(std::string(40960, 'a'));
  EXPECT_EQ(form->Frames().FrameLength(), 40960);
  Serial().Receive("b");
  EXPECT_EQ(form->Frames().FrameLength(), 0);
  EXPECT_TRUE(log.Contains("FrameBuffer exceeds maximum frame size."));
}

TEST_F(SerialSourceTest, ReadFailureResetsAndDropsTheClients) {
  Load();
  const int client = StreamingClient();
  Serial().failInput = PlatformError(8015, "Device disconnected");
  Serial().Receive("x");
  EXPECT_TRUE(log.Contains("OnComm error: 8015 - Device disconnected"));
  EXPECT_EQ(Client(client).State(), kStateClosed);
  EXPECT_TRUE(Serial().PortOpen());  // reopened
}

}  // namespace
}  // namespace tavrik
