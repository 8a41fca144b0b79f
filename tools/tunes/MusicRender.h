// The browser build's tunes made by the desktop's module player: each module played by
// libxmp as the game plays it, its first round compressed and its positions recorded.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "media/PreparedMusic.h"

namespace tk::tunes {

struct TRendered {
  TPreparedTune Tune;            // Vorbis left empty
  std::vector<int16_t> Rounds;   // the first two rounds as libxmp plays them
};

// Plays the module through twice at `rate`; throws std::runtime_error when libxmp cannot
// load it or when its later rounds do not repeat the first (then the browser cannot play
// it from one round).
TRendered Render(std::string_view module, const std::string& name, int rate = 44100);

// Ogg Vorbis at the encoder's quality q (-0.1 .. 1), deterministic for the same input.
std::string EncodeVorbis(const std::vector<int16_t>& stereo, size_t frames, int rate, float q);

// A canonical 16-bit stereo WAV file.
std::string Wav(const int16_t* stereo, size_t frames, int rate);

}  // namespace tk::tunes
