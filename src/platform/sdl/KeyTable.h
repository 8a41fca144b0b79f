// The keyboard's keys as the game's key tables know them: Windows virtual-key codes.
#pragma once

#include <SDL_scancode.h>
#include <SDL_stdinc.h>

namespace tk::platform {

// Keys that have no code of their own arrive as this one, so "any other key" still sees them.
constexpr int kUnnamedKey = 0xFF;

// The virtual key of a physical key (by position, so letters work in every layout). Number
// pad keys without Num Lock are the movement keys they are labelled with. 0 for no key.
int VirtualKeyOf(SDL_Scancode sc, bool numLock);

// Whether a physical key that means the virtual key is down, in SDL's keyboard state array.
bool IsVirtualKeyHeld(const Uint8* state, int count, int key, bool numLock);

}  // namespace tk::platform
