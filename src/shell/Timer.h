// Window timers: enabling one or changing its interval restarts its countdown; periods
// missed while the game was busy are not made up. A handler that disables its timer
// makes it one-shot.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/Platform.h"

namespace tk {

class TTimer {
 public:
  TTimer() = default;
  void Attach(platform::IClock* clock) { clock_ = clock; }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool on);
  uint32_t Interval() const { return interval_; }
  void SetInterval(uint32_t ms);
  uint64_t DueAt() const { return due_; }
  // A held timer does not fire and keeps what was left of its period, whether or not it is
  // enabled meanwhile; released, it goes on from there. The stage clock is held while the
  // window is away, independently of the pause key's toggling.
  void SetHeld(bool held);
  bool Held() const { return held_; }
  // Enabled and not held: it will fire when due.
  bool Running() const { return enabled_ && !held_; }
  // Fires the handler when due at time now; true when it fired.
  bool Poll(uint64_t now);
  std::function<void()> OnTimer;

 private:
  void Restart();  // a new full period from now (or from the release, while held)
  platform::IClock* clock_ = nullptr;
  bool enabled_ = false, held_ = false;
  uint32_t interval_ = 1000;
  uint64_t due_ = 0;
  uint64_t left_ = 0;  // of the period, while held
};

}  // namespace tk
