#include "platform/asio/AsioPlatform.h"

#include <gtest/gtest.h>

namespace tavrik {
namespace {

// Handlers run pending events in the middle of their work (a restart, an
// accepted client): the loop must go on running until it is stopped, however
// much work the nested runs dispatch.
TEST(AsioPlatformTest, NestedRunsOfPendingEventsNeverEndTheLoop) {
  AsioPlatform platform("/tmp");
  EventLoop& loop = platform.Loop();
  int inner = 0;
  int ticks = 0;
  auto timer = platform.CreateTimer();
  timer->SetTickHandler([&] {
    for (int i = 0; i < 10; ++i) loop.Post([&] { ++inner; });
    loop.RunPending();
    if (++ticks == 5) platform.Stop();
  });
  timer->Start(20);
  platform.Run();
  EXPECT_EQ(ticks, 5);
  EXPECT_EQ(inner, 50);
}

TEST(AsioPlatformTest, StoppedTimerDeliversNoQueuedTick) {
  AsioPlatform platform("/tmp");
  auto a = platform.CreateTimer();
  auto b = platform.CreateTimer();
  int bTicks = 0;
  b->SetTickHandler([&] { ++bTicks; });
  a->SetTickHandler([&] {
    b->Stop();  // b's tick may already be due: it must not arrive
    platform.Stop();
  });
  b->Start(10);
  a->Start(10);
  platform.Run();
  platform.Loop().RunPending();
  EXPECT_LE(bTicks, 1);
  const int seen = bTicks;
  platform.Loop().RunPending();
  EXPECT_EQ(bTicks, seen);
}

}  // namespace
}  // namespace tavrik
