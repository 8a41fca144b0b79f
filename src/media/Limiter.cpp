#include "media/Limiter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace tk {

namespace {

// The gain that brings a peak onto the soft curve: 1 up to the knee, then the level
// approaches the ceiling without reaching it.
double CurveGain(double peak) {
  if (peak <= TLimiter::Knee) return 1.0;
  const double span = TLimiter::Ceiling - TLimiter::Knee;
  return (TLimiter::Knee + span * std::tanh((peak - TLimiter::Knee) / span)) / peak;
}

}  // namespace

TLimiter::TLimiter(int rate) { SetRate(rate); }

void TLimiter::SetRate(int rate) {
  if (rate <= 0) rate = 44100;
  attackStep_ = 1.0 / (rate * AttackSeconds);
  releaseCoef_ = 1.0 - std::exp(-1.0 / (rate * ReleaseSeconds));
}

void TLimiter::Process(const int32_t* in, int16_t* out, int frames) {
  if (frames <= 0) return;
  // The gain each frame may have at most: its own curve gain, and a ramp leading down to
  // every later peak of the block, so the reduction starts before the peak arrives.
  if (need_.size() < static_cast<size_t>(frames)) need_.resize(static_cast<size_t>(frames));
  double next = 1.0;
  for (int i = frames - 1; i >= 0; --i) {
    const double peak = std::max(std::abs(static_cast<double>(in[2 * i])),
                                 std::abs(static_cast<double>(in[2 * i + 1])));
    next = std::min(CurveGain(peak), next + attackStep_);
    need_[static_cast<size_t>(i)] = next;
  }
  double g = gain_;
  for (int i = 0; i < frames; ++i) {
    g = std::min(need_[static_cast<size_t>(i)], g + (1.0 - g) * releaseCoef_);
    // Within a hair of 1 the gain is 1, so untouched passages stay bit-exact.
    if (g > 1.0 - 1e-6) g = 1.0;
    for (int c = 0; c < 2; ++c) {
      const int32_t s = in[2 * i + c];
      double v = g == 1.0 ? s : std::nearbyint(s * g);
      // Only rounding could get past; the curve keeps every sample within the ceiling.
      v = std::clamp(v, -Ceiling, Ceiling);
      out[2 * i + c] = static_cast<int16_t>(v);
    }
  }
  gain_ = g;
}

}  // namespace tk
