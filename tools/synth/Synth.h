// A small synthesiser for the game's sound effects and the music's instruments: layers of
// oscillators (sine, square, saw, triangle, noise) with ADSR envelopes, pitch sweeps,
// vibrato and tremolo, state-variable filters, mixed and scaled to a target peak.
// Everything is computed from the recipe alone, so the same recipe gives the same
// samples on every run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tk::synth {

// xorshift32: small, fast and identical everywhere; never seeded with 0.
class Noise {
 public:
  explicit Noise(uint32_t seed) : state_(seed ? seed : 0x9E3779B9u) {}
  uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  double Uniform() { return (Next() >> 8) * (1.0 / 16777216.0); }  // [0, 1)
  double Bipolar() { return Uniform() * 2.0 - 1.0; }                // [-1, 1)

 private:
  uint32_t state_;
};

enum class Wave { Sine, Square, Saw, Triangle, Noise };
enum class FilterType { LowPass, HighPass, BandPass };

struct Filter {
  FilterType Type = FilterType::LowPass;
  double Cutoff = 1000;   // Hz
  double CutoffTo = 0;    // Hz at the end of the layer; 0 = no sweep
  double Q = 0.707;
};

// Attack, decay to the sustain level, release at the end of the layer. Times in seconds.
struct Adsr {
  double Attack = 0.002;
  double Decay = 0;
  double Sustain = 1;
  double Release = 0.005;
};

// Copies of a layer: an arpeggio (each step later and transposed) or a scatter of
// copies at seeded random times with a little random pitch and level.
struct Arpeggio {
  std::vector<double> Semitones;
  double Step = 0.1;  // seconds between steps
};
struct Scatter {
  int Count = 0;
  uint32_t Seed = 1;
  double From = 0, To = -1;  // window for the start times (seconds; To < 0 = the sound's end)
  double Pitch = 0;          // ± fraction of random pitch change
  double Level = 0;          // level drops by up to this fraction
};

struct Layer {
  Wave Shape = Wave::Sine;
  double Freq = 440;     // Hz (for instruments: a multiple of the base tone)
  double FreqTo = 0;     // end of a pitch sweep; 0 = steady
  double Glide = -1;     // sweep time in seconds; < 0 = the whole layer
  bool LinearSweep = false;  // default: exponential (even in pitch)
  double Duty = 0.5;     // square waves
  double NoiseHold = 0;  // noise: a new value this many times a second (0 = every sample)
  uint32_t Seed = 1;
  double Start = 0;      // seconds
  double Length = -1;    // seconds; < 0 = to the end of the sound
  double Gain = 1;
  bool HasEnvelope = true;
  Adsr Env;
  double VibratoDepth = 0, VibratoRate = 0;  // semitones, Hz
  double TremoloDepth = 0, TremoloRate = 0;  // 0..1, Hz
  std::vector<Filter> Filters;
  Arpeggio Arp;
  Scatter Copies;
};

struct Recipe {
  std::string Name;
  int Rate = 22050;
  double Length = 0.5;  // seconds; for a looped recipe the loop length
  bool Looped = false;
  int32_t MaxPlayingCount = 0;
  double Peak = 0.7;    // the finished sound's largest sample, as a fraction of full scale
  double HighPass = 0;  // Hz, on the mix (removes rumble and offset); 0 = none
  // Looped recipes: oscillator and modulation rates are moved to whole cycles per loop.
  // BaseFreq > 0 means layer frequencies are multiples of it (instrument samples).
  double BaseFreq = 0;
  bool QuietStart = true;  // turn a loop to start at a quiet point (tests look at the raw seam)
  std::vector<Layer> Layers;
};

// The rendered sound in [-1, 1], scaled to the recipe's peak. A looped recipe gives
// exactly one loop that plays seamlessly into its own start: steady layers hold whole
// cycles, events and filters wrap around, and the loop is turned to begin at a quiet
// zero crossing.
std::vector<double> Render(const Recipe& r);

// 16-bit little-endian PCM with rounding and saturation.
std::vector<int16_t> ToInt16(const std::vector<double>& s);
std::string ToPcm16(const std::vector<int16_t>& s);

}  // namespace tk::synth
