#include "sources/SerialSource.h"

#include <gtest/gtest.h>

#include "support/RelayFixture.h"

namespace tavrik {
namespace {

class SerialSourceTest : public test::RelayFixture {
 protected:
  SerialSourceTest() { settings.cutDetection = true; }
};

TEST_F(SerialSourceTest, ChunksJoinIntoAFrameCutAtTheCommand) {
  Start();
  const int client = StreamingClient();
  Serial().Receive("receipt\x1d");
  Serial().Receive("Vnext");
  EXPECT_EQ(Bodies(Client(client)), std::vector<std::string>{"receipt\x1dV"});
  EXPECT_EQ(relay->Frames().Frame(), "next");
  EXPECT_TRUE(log.Contains("OnComm(2) : 'receipt\x1d'"));
}

TEST_F(SerialSourceTest, EmptyNotificationOnlyStampsTheStart) {
  Start();
  platform.SimulatedClock().SetStartOfDay(5000);
  log.Clear();
  Serial().Notify();
  EXPECT_EQ(relay->Frames().StartTime(), 5000);
  EXPECT_EQ(relay->Frames().ChunkCount(), 0);
  EXPECT_TRUE(log.Messages().empty());
}

TEST_F(SerialSourceTest, ChunkIsDroppedWhileAResetIsPending) {
  Create();
  Serial().failOpen = PlatformError(8002, "Invalid port number");
  Start();
  Serial().failOpen.reset();
  Serial().Open(1, "9600,n,8,1");
  Serial().Receive("lost");
  EXPECT_EQ(relay->Frames().Length(), 0);
  EXPECT_EQ(Serial().BytesWaiting(), 0);
}

TEST_F(SerialSourceTest, CharactersArrivingDuringProcessingAreReadInTheSameCall) {
  Start();
  Serial().ArriveDuringRead("more");
  Serial().Receive("first");
  EXPECT_EQ(relay->Frames().Frame(), "firstmore");
  EXPECT_EQ(relay->Frames().ChunkCount(), 2);
  EXPECT_TRUE(log.Contains("OnComm(2) : 'more'"));
}

TEST_F(SerialSourceTest, FrameAbove40960IsSentExactly40960Kept) {
  Start();
  Serial().Receive(std::string(40960, 'a'));
  EXPECT_EQ(relay->Frames().Length(), 40960);
  Serial().Receive("b");
  EXPECT_EQ(relay->Frames().Length(), 0);
  EXPECT_TRUE(log.Contains("FrameBuffer exceeds maximum frame size."));
}

TEST_F(SerialSourceTest, ReadFailureResetsAndDropsTheClients) {
  Start();
  const int client = StreamingClient();
  Serial().failRead = PlatformError(8015, "Device disconnected");
  Serial().Receive("x");
  EXPECT_TRUE(log.Contains("OnComm error: 8015 - Device disconnected"));
  EXPECT_EQ(Client(client).State(), SocketState::kClosed);
  EXPECT_TRUE(Serial().IsOpen());  // reopened
}

}  // namespace
}  // namespace tavrik
