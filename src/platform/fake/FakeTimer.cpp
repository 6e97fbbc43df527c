#include "platform/fake/FakeTimer.h"

#include "platform/fake/FakePlatform.h"

namespace tavrik {

FakeTimer::FakeTimer(FakePlatform& platform) : platform_(platform) { platform_.Register(this); }

FakeTimer::~FakeTimer() { platform_.Unregister(this); }

void FakeTimer::Start(int ms) {
  running_ = ms >= 1;
  if (!running_) return;
  intervalMs_ = ms;
  Arm();
}

void FakeTimer::Arm() {
  deadline_ = platform_.NowMs() + intervalMs_;
  sequence_ = platform_.NextSequence();
}

void FakeTimer::Fire() {
  Arm();
  RaiseTick();
}

}  // namespace tavrik
