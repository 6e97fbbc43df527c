// Frame delivery to the listeners when a listener runs pending events.
#include <gtest/gtest.h>

#include <functional>

#include "controller/Relay.h"
#include "support/RelayFixture.h"

namespace tavrik {
namespace {

// Runs the pending events while it takes its first frame, as an output that
// reconnects from within its delivery may; what it runs is the test's.
class EventRunningListener : public FrameListener {
 public:
  EventRunningListener(EventLoop& loop, std::function<void()> arriving) : loop_(loop), arriving_(std::move(arriving)) {}
  void OnFrame(const FrameRecord& frame) override {
    frames.emplace_back(frame.bytes);
    if (frames.size() != 1) return;
    loop_.Post(arriving_);
    loop_.RunPending();
  }
  std::vector<std::string> frames;

 private:
  EventLoop& loop_;
  std::function<void()> arriving_;
};

using RelayDeliveryTest = test::RelayFixture;

TEST_F(RelayDeliveryTest, AShutdownInsideAListenersEventRunDeliversNoFrameTwice) {
  Create();
  EventRunningListener first(platform.Loop(), [&] { relay->Shutdown(ShutdownReason::kUser); });
  EventRunningListener second(platform.Loop(), [] {});
  relay->AddFrameListener(first);
  relay->AddFrameListener(second);
  Start();
  for (const char* frame : {"a", "b", "c"}) {
    relay->Frames().Append(frame);
    relay->Frames().SendFrame();
  }
  platform.Advance(Relay::kListenerDelayMs);
  const std::vector<std::string> expected{"a", "b", "c"};
  EXPECT_EQ(first.frames, expected);
  EXPECT_EQ(second.frames, expected);
}

}  // namespace
}  // namespace tavrik
