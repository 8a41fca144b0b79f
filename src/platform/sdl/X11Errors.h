// What an X error does to the game. Xlib's own handler ends the process on any error,
// and some come asynchronously for a window that is already gone: a wake-up sent to the
// window while it was being destroyed as the game closed. Those are harmless and must not
// turn a normal quit into a failure; every other error is handled as before.
#pragma once

namespace tk::platform {

// Installs the handler once, after SDL's video has started (SDL installs its own, which
// stays behind ours for every error we do not pass over).
void PassOverGoneWindowErrors();

// Whether an error with this code is one for a window that no longer exists.
bool IsGoneWindowError(int errorCode);

}  // namespace tk::platform
