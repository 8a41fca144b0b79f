// What the menu screens keep for themselves between ticks.
#pragma once

#include <cstdint>

namespace tk::menus {

struct TMenuState {
  // The hover sound plays once per entry into a group; these re-arm while the pointer is
  // over none of the group's targets.
  bool HoverSoundArmed = false, HelpBackHoverArmed = false;
  uint8_t HelpPage = 1;
};

}  // namespace tk::menus
