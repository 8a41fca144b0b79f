// The real platform: an SDL2 window that shows the game's 800 x 600 picture scaled and
// letterboxed, the keyboard, mouse and game controller, the audio device, and the desktop.
#pragma once

#include <memory>

#include "platform/Platform.h"
#include "platform/sdl/SdlWindow.h"

namespace tk::platform {

// Creates the platform; SDL is initialised here and shut down when the platform goes.
// Throws NoDisplayError (already reported) when there is no display to show the game on.
std::unique_ptr<Platform> MakeSdlPlatform(WindowIcon icon = {});

}  // namespace tk::platform
