#include "connections/ConnectionSlots.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/fake/FakePlatform.h"

namespace tavrik {
namespace {

// Two slots with a connection each; the test is the slots' owner and writes
// down every event it is handed, with the slot's number.
class ConnectionSlotsTest : public ::testing::Test, private SocketEvents {
 public:
  struct State {};
  void OnSlotData(int index) { Note("data", index); }
  void OnSlotClosed(int index) { Note("closed", index); }
  void OnSlotError(int index, int number, const std::string&) { Note("error " + std::to_string(number), index); }
  void OnSlotSendDrained(int index) { Note("drained to " + std::to_string(slots.UnsentBytes(index)), index); }

 protected:
  ConnectionSlotsTest() {
    listener->SetEvents(this);
    for (int i = 0; i < 2; ++i) Connect(slots.Add(), "10.0.0." + std::to_string(i));
  }
  void Note(const std::string& what, int index) { events.push_back(what + " " + std::to_string(index)); }
  void Connect(int slot, const std::string& host) {
    acceptInto_ = slot;
    static_cast<FakeSocket&>(*listener).RequestConnection(host);
  }
  FakeSocket& Slot(int i) { return *platform.Sockets().at(1 + static_cast<size_t>(i)); }

  FakePlatform platform;
  std::unique_ptr<Socket> listener = platform.CreateSocket();
  ConnectionSlots<ConnectionSlotsTest, State> slots{platform, *this, 2};
  std::vector<std::string> events;

 private:
  void OnConnectionRequest(int32_t requestId) override { slots.Accept(acceptInto_, requestId); }
  int acceptInto_ = 0;
};

TEST_F(ConnectionSlotsTest, EachSocketsEventsReachTheOwnerWithItsSlotsNumber) {
  Slot(1).Arrive("x");
  Slot(1).PeerClose();
  Slot(0).RaiseError(104, "reset");
  EXPECT_EQ(events, (std::vector<std::string>{"data 1", "closed 1", "error 104 0"}));
}

TEST_F(ConnectionSlotsTest, UnsentBytesCountWhatIsSentUntilTheSocketReportsItGone) {
  slots.Send(0, std::vector<Payload>{MakePayload("abc"), MakePayload("defgh")});
  slots.Send(1, MakePayload("abc"));
  EXPECT_EQ(slots.UnsentBytes(0), 8);
  Slot(0).Drain(5);
  Slot(0).DrainAll();
  EXPECT_EQ(events, (std::vector<std::string>{"drained to 3 0", "drained to 0 0"}));
  EXPECT_EQ(slots.UnsentBytes(1), 3);
}

// A handler that let other events run compares the slot's connection count
// with the one it began with: the next connection in its slot is not its own.
TEST_F(ConnectionSlotsTest, ANewConnectionInASlotStartsWithNothingUnsentAndIsCounted) {
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
