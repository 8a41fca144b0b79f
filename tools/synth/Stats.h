// Waveform figures that stand in for listening: level, clipping, clicks at the start and
// end, and the jump where a loop meets its own start.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tk::synth {

struct WaveStats {
  size_t Samples = 0;
  int Peak = 0;             // largest |sample|
  double Rms = 0;           // in sample units
  double Mean = 0;          // offset from zero
  int First = 0, Last = 0;  // the first and last sample
  int SeamJump = 0;         // |first - last|: the step a loop makes when it wraps
  int LocalStep = 0;        // largest step between neighbours in the 32 samples each side of the seam
  int Clipped = 0;          // samples at full scale
};

WaveStats Measure(const std::vector<int16_t>& s);

// What is wrong with a sound, one line each; empty when it passes. One-shots must start
// and end near zero; loops must wrap with a step no larger than the signal's own steps
// around the seam.
std::vector<std::string> Problems(const WaveStats& st, bool looped);

// One line of figures for a report.
std::string Describe(const std::string& name, const WaveStats& st, int rate, bool looped);

}  // namespace tk::synth
