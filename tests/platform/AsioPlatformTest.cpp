#include "platform/asio/AsioPlatform.h"

#include <gtest/gtest.h>

namespace tavrik {
namespace {

// Handlers yield in the middle of their work (a reset, an accepted client):
// the loop must go on running until it is stopped, however much work the
// yields dispatch.
TEST(AsioPlatformTest, NestedYieldsNeverEndTheLoop) {
  AsioPlatform platform("/tmp");
  EventLoop& loop = platform.Loop();
  int inner = 0;
  int ticks = 0;
  auto timer = platform.CreateTimer();
  timer->SetInterval(20);
  timer->SetTickHandler([&] {
    for (int i = 0; i < 10; ++i) loop.Post([&] { ++inner; });
    loop.YieldOnce();
    if (++ticks == 5) platform.Stop();
  });
  timer->SetEnabled(true);
  platform.Run();
  EXPECT_EQ(ticks, 5);
  EXPECT_EQ(inner, 50);
}

TEST(AsioPlatformTest, DisabledTimerDeliversNoQueuedTick) {
  AsioPlatform platform("/tmp");
  auto a = platform.CreateTimer();
  auto b = platform.CreateTimer();
  int bTicks = 0;
  a->SetInterval(10);
  b->SetInterval(10);
  b->SetTickHandler([&] { ++bTicks; });
  a->SetTickHandler([&] {
    b->SetEnabled(false);  // b's tick may already be due: it must not arrive
    platform.Stop();
  });
  b->SetEnabled(true);
  a->SetEnabled(true);
  platform.Run();
  platform.Loop().YieldOnce();
  EXPECT_LE(bTicks, 1);
  const int seen = bTicks;
  platform.Loop().YieldOnce();
  EXPECT_EQ(bTicks, seen);
}

}  // namespace
}  // namespace tavrik
