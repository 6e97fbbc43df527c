#include "platform/fake/FakeTimer.h"

#include "platform/fake/FakePlatform.h"

namespace tavrik {

FakeTimer::FakeTimer(FakePlatform& platform) : platform_(platform) { platform_.Register(this); }

FakeTimer::~FakeTimer() { platform_.Unregister(this); }

void FakeTimer::SetInterval(int ms) {
  interval_ = ms;
  if (enabled_) Arm();
}

void FakeTimer::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  if (enabled_) Arm();
}

void FakeTimer::Arm() {
  deadline_ = platform_.NowMs() + interval_;
  sequence_ = platform_.NextSequence();
}

void FakeTimer::Fire() {
  Arm();
  RaiseTick();
}

}  // namespace tavrik
