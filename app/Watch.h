// tinokvak --replay FILE: a recorded game played back in the real window.
#pragma once

#include <string>

#include "platform/Platform.h"

namespace tk {

// Returns the exit status: 0 when watched to its end or left with Esc, 2 when the file is
// refused (another format version, other game data, damaged), 1 when the game cannot start.
// The window, sound and text come from the real platform `sdl`; the game gets none of its
// input or clock.
int WatchReplay(platform::Platform& sdl, const std::string& file);

}  // namespace tk
