#include "shell/Timer.h"

namespace tk {

void TTimer::SetEnabled(bool on) {
  if (on == enabled_) return;
  enabled_ = on;
  if (on) Restart();
}

void TTimer::SetInterval(uint32_t ms) {
  if (ms == interval_) return;
  interval_ = ms;
  if (enabled_) Restart();
}

void TTimer::Restart() {
  if (held_)
    left_ = interval_;
  else if (clock_)
    due_ = clock_->NowMs() + interval_;
}

void TTimer::SetHeld(bool held) {
  if (held == held_) return;
  held_ = held;
  const uint64_t now = clock_ ? clock_->NowMs() : 0;
  if (held)
    left_ = due_ > now ? due_ - now : 0;
  else
    due_ = now + left_;
}

bool TTimer::Poll(uint64_t now) {
  if (!enabled_ || held_ || interval_ == 0 || now < due_) return false;
  due_ = now + interval_;
  if (OnTimer) OnTimer();
  return true;
}

}  // namespace tk
