// The master limiter behind the mixer: the voices and the music are summed with room to
// spare, and this turns the sums into 16-bit samples. Quiet passages go through untouched;
// above the knee a soft curve bends the peaks towards the ceiling, and the gain that does
// it moves smoothly (a short ramp down ahead of a peak, a slow recovery after it), so the
// busiest moments get quieter instead of being cut flat at full scale.
#pragma once

#include <cstdint>
#include <vector>

namespace tk {

class TLimiter {
 public:
  explicit TLimiter(int rate = 44100);
  void SetRate(int rate);
  // frames stereo frames: in holds the sums, out gets the samples.
  void Process(const int32_t* in, int16_t* out, int frames);
  double Gain() const { return gain_; }  // the gain the last frame got

  // Levels in sample units: the soft curve starts at -6 dBFS and flattens out at the
  // ceiling, -1 dBFS, which no sample passes.
  static constexpr double Knee = 16384.0;
  static constexpr double Ceiling = 29204.0;
  // How fast the gain moves: down over at most 2 ms ahead of a peak, back up with a
  // time constant of 150 ms.
  static constexpr double AttackSeconds = 0.002;
  static constexpr double ReleaseSeconds = 0.150;

 private:
  double attackStep_ = 0, releaseCoef_ = 0;
  double gain_ = 1.0;
  std::vector<double> need_;
};

}  // namespace tk
