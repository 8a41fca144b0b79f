// The desktop side of the real window: starting video (or saying plainly why it cannot
// start), the flags the window is made with, its icon and where it first appears.
#pragma once

#include <SDL.h>

#include <cstdint>

#include "platform/Platform.h"
#include "platform/sdl/SdlPlatform.h"

namespace tk::platform {

// Brings SDL's video up. Without a usable display, or when only the off-screen or dummy
// driver came up and nobody asked for it, it says so in one sentence on stderr and in a
// message box where one can be shown, and throws NoDisplayError.
void StartSdlVideo();

// Resizable, so window managers offer to maximise it (which the game turns into full screen).
Uint32 GameWindowFlags();
// A window that can be resized and maximised again, after full screen took those away.
void MakeWindowed(SDL_Window* window);

void SetGameWindowIcon(SDL_Window* window, const WindowIcon& icon);

// Where a new 800 x 600 window goes: the centre of the first display's usable area.
WindowPlacement CentredPlacement();

}  // namespace tk::platform
