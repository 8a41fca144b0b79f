#pragma once
// The keys and mouse buttons as the game's scripts name them (tinokvak-sim's and the
// page's test mode): "Enter", "alt+Enter", "ctrl+P", a letter or digit; "left", "right",
// "middle" (left when none is named).

#include <string>

#include "platform/Platform.h"

namespace tk {

struct TScriptKey {
  int Key = 0;
  platform::KeyMods Mods;
};

// Throws on a name no script may use.
TScriptKey ParseScriptKey(std::string name);
platform::MouseButton ParseScriptButton(const std::string& name);

}  // namespace tk
