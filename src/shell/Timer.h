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
  // Fires the handler when due at time now; true when it fired.
  bool Poll(uint64_t now);
  std::function<void()> OnTimer;

 private:
  platform::IClock* clock_ = nullptr;
  bool enabled_ = false;
  uint32_t interval_ = 1000;
  uint64_t due_ = 0;
};

}  // namespace tk
