// The text fields' shared parts: the country typed on the options screen, the caret that
// blinks in a field taking typing, and the width of the text it stands beside. The options
// screen and the name entry at game over use them; the settings file and the score
// submission read the country. Kept alive with the main window (menus::Register).
#pragma once

#include <cstdint>
#include <string>

namespace tk::menus {

struct TTyping {
  // The hidden field the options screen types into, and the country as last shown there
  // (Windows-1251).
  std::string Edit1, PlayerCountry;
  // Counted down every frame tick whatever the scene (CaretStep): the caret shows above 15,
  // and after 0 the count starts again at 30.
  uint8_t CaretBlink = 0;
  // The width of the text being typed (the country on the options, the name at game over).
  int32_t NameTextWidth = 0;
};

}  // namespace tk::menus
