// Sound in the browser: our mixer pulled through Web Audio.
#pragma once

#include <memory>

#include "platform/Platform.h"

namespace tk::platform {

// An output whose Open makes a Web Audio context at 44100 Hz (the browser resamples to its
// device), suspended until the page's first key, click or touch, as browsers want, and
// pulls the mixer a block at a time from the page's own thread. Open fails (and the game
// goes on silently) where the browser has no Web Audio.
std::unique_ptr<IAudioOutput> MakeWebAudioOutput();

}  // namespace tk::platform
