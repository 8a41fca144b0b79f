// Advances virtual time as the real loop does: events first, then every timer and frame
// tick when due, until the target time or the window closes.
#pragma once

#include <cstdint>

#include "platform/headless/Headless.h"
#include "shell/MainForm.h"

namespace tk::testing {

inline void RunFor(platform::HeadlessPlatform& plat, TMainForm& form, uint64_t ms) {
  const uint64_t target = plat.Now() + ms;
  for (;;) {
    plat.Get().Events->Pump(form, 0);
    const uint64_t next = plat.Now() + form.MsUntilNextDue();
    if (next > target || form.Closed()) break;
    plat.AdvanceTo(next);
    form.Idle();
  }
  plat.AdvanceTo(target);
}

}  // namespace tk::testing
