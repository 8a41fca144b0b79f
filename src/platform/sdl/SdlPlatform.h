// The real platform: an SDL2 window that shows the game's 800 x 600 picture scaled and
// letterboxed, the keyboard, mouse and game controller, the audio device, and the desktop.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>

#include "platform/Platform.h"

namespace tk::platform {

// The window icon: square 32-bit ARGB pixels, non-premultiplied.
struct WindowIcon {
  const uint32_t* Argb = nullptr;
  int Size = 0;
};

// No display to show the game on (StartSdlVideo has said so already).
struct NoDisplayError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Creates the platform; SDL is initialised here and shut down when the platform goes.
// Throws NoDisplayError (already reported) when there is no display to show the game on.
std::unique_ptr<Platform> MakeSdlPlatform(WindowIcon icon = {});

}  // namespace tk::platform
