// Loads a written module with the game's module player library and checks that it reads
// back what was meant: the header figures, the order list and every sample value, and
// that it plays to an audible signal. The player accepts broken sample data silently,
// so this is the guard against a writer fault reaching the game.
#pragma once

#include <string>
#include <vector>

#include "XmWriter.h"

namespace tk::xm {

struct CheckReport {
  std::vector<std::string> Problems;  // empty when the module passed
  double PlayerSeconds = 0;           // the player's own idea of the song's length
  int Peak = 0;                       // of the rendered signal, 16-bit stereo
  double Rms = 0;
  double QuietestSecondRms = 0;       // the softest whole second of the song
  long ClippedFrames = 0;
};

// `bytes` is the file as written from `m`. Renders one pass of the song at 44100 Hz.
CheckReport CheckWithPlayer(const std::string& bytes, const Module& m);

}  // namespace tk::xm
