#include "connections/ConnectionSlots.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/fake/FakePlatform.h"

namespace tavrik {
namespace {

// Writes down every event it is handed, with the slot's number and, for the
// socket's progress, the slot's unsent bytes as the handler sees them.
class Recorder {
 public:
  struct State {
    int value = 0;
  };

  explicit Recorder(FakePlatform& platform) : slots(platform, *this, 4) {}

  void OnSlotData(int index) { events.push_back("data " + std::to_string(index)); }
  void OnSlotClosed(int index) { events.push_back("closed " + std::to_string(index)); }
  void OnSlotError(int index, int number, const std::string& description) {
    events.push_back("error " + std::to_string(index) + " " + std::to_string(number) + " " + description);
  }
  void OnSlotSendDrained(int index) {
    events.push_back("drained " + std::to_string(index) + " " + std::to_string(slots.UnsentBytes(index)));
  }

  std::vector<std::string> events;
  ConnectionSlots<Recorder, State> slots;
};

// Two slots, each with a connection.
class ConnectionSlotsTest : public ::testing::Test, private SocketEvents {
 protected:
  ConnectionSlotsTest() {
    listener->SetEvents(this);
    listener->Listen(9000);
    for (int i = 0; i < 2; ++i) Connect(recorder.slots.Add(), "10.0.0." + std::to_string(i));
  }
  void Connect(int slot, const std::string& host) {
    acceptInto_ = slot;
    static_cast<FakeSocket&>(*listener).RequestConnection(host);
  }
  FakeSocket& Slot(int i) { return *platform.Sockets().at(1 + static_cast<size_t>(i)); }

  FakePlatform platform;
  std::unique_ptr<Socket> listener = platform.CreateSocket();
  Recorder recorder{platform};

 private:
  void OnConnectionRequest(int32_t requestId) override { recorder.slots.Accept(acceptInto_, requestId); }
  int acceptInto_ = 0;
};

TEST_F(ConnectionSlotsTest, EachSocketsEventsReachTheOwnerWithItsSlotsNumber) {
  Slot(1).Arrive("x");
  Slot(1).PeerClose();
  Slot(0).RaiseError(104, "reset");
  EXPECT_EQ(recorder.events, (std::vector<std::string>{"data 1", "closed 1", "error 0 104 reset"}));
}

TEST_F(ConnectionSlotsTest, UnsentBytesCountWhatIsSentUntilTheSocketReportsItGone) {
  ConnectionSlots<Recorder, Recorder::State>& slots = recorder.slots;
  const std::vector<Payload> parts{MakePayload("abc"), MakePayload("defgh")};
  slots.Send(0, parts);
  slots.Send(1, parts[0]);
  EXPECT_EQ(slots.UnsentBytes(0), 8);
  EXPECT_EQ(slots.UnsentBytes(1), 3);
  Slot(0).Drain(5);
  Slot(0).DrainAll();
  EXPECT_EQ(recorder.events, (std::vector<std::string>{"drained 0 3", "drained 0 0"}));
  EXPECT_EQ(slots.UnsentBytes(1), 3);
}

// A handler that let other events run compares the slot's connection count
// with the one it began with: the next connection in its slot is not its own.
TEST_F(ConnectionSlotsTest, ANewConnectionInASlotStartsWithNothingUnsentAndIsCounted) {
  ConnectionSlots<Recorder, Recorder::State>& slots = recorder.slots;
  slots.Send(0, MakePayload("left over"));
  const uint32_t first = slots.Connection(0);
  slots.SocketAt(0).Close();
  Connect(0, "10.0.0.9");
  EXPECT_NE(slots.Connection(0), first);
  EXPECT_EQ(slots.Connection(1), first);
  EXPECT_EQ(slots.UnsentBytes(0), 0);
  EXPECT_EQ(slots.SocketAt(0).RemoteHost(), "10.0.0.9");
}

}  // namespace
}  // namespace tavrik
