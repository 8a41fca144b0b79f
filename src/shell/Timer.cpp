#include "shell/Timer.h"

namespace tk {

void TTimer::SetEnabled(bool on) {
  if (on == enabled_) return;
  enabled_ = on;
  if (on && clock_) due_ = clock_->NowMs() + interval_;
}

void TTimer::SetInterval(uint32_t ms) {
  if (ms == interval_) return;
  interval_ = ms;
  if (enabled_ && clock_) due_ = clock_->NowMs() + interval_;
}

bool TTimer::Poll(uint64_t now) {
  if (!enabled_ || interval_ == 0 || now < due_) return false;
  due_ = now + interval_;
  if (OnTimer) OnTimer();
  return true;
}

}  // namespace tk
