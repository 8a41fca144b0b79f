// The master limiter: quiet passages untouched, loud ones bent below full scale by a gain
// that ramps down ahead of a peak and recovers slowly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "media/Limiter.h"

namespace tk {
namespace {

// Runs a mono signal (copied to both sides) through the limiter in blocks of the given size.
std::vector<int16_t> Limit(TLimiter& l, const std::vector<int32_t>& mono, int block) {
  std::vector<int32_t> in;
  for (int32_t v : mono) in.insert(in.end(), {v, v});
  std::vector<int16_t> out(in.size());
  const int frames = static_cast<int>(mono.size());
  for (int at = 0; at < frames; at += block) {
    const int n = std::min(block, frames - at);
    l.Process(in.data() + 2 * at, out.data() + 2 * at, n);
  }
  return out;
}

TEST(Limiter, QuietPassagesGoThroughBitExact) {
  TLimiter l(44100);
  std::vector<int32_t> sine;
  for (int i = 0; i < 4410; ++i)
    sine.push_back(static_cast<int32_t>(std::lround(16384 * std::sin(i * 0.07))));
  const auto out = Limit(l, sine, 512);
  for (size_t i = 0; i < sine.size(); ++i) ASSERT_EQ(out[2 * i], sine[i]) << i;
  EXPECT_EQ(l.Gain(), 1.0);
}

TEST(Limiter, AnOverloadNeverReachesFullScaleWhateverTheBlockSize) {
  // A loud chord of sines summing far past 16 bits, in bursts.
  std::vector<int32_t> loud;
  for (int i = 0; i < 44100; ++i) {
    const double t = i / 44100.0;
    const double burst = (i / 4410) % 2 ? 1.0 : 0.2;
    loud.push_back(static_cast<int32_t>(burst * (40000 * std::sin(2 * M_PI * 220 * t) +
                                                 30000 * std::sin(2 * M_PI * 331 * t) +
                                                 30000 * std::sin(2 * M_PI * 1250 * t))));
  }
  for (int block : {1, 64, 1323, 4096}) {
    SCOPED_TRACE(block);
    TLimiter l(44100);
    const auto out = Limit(l, loud, block);
    int peak = 0;
    for (size_t i = 0; i < loud.size(); ++i) {
      peak = std::max(peak, std::abs(static_cast<int>(out[2 * i])));
      // The sign always follows the input: nothing wraps or flips.
      if (loud[i] > 0) {
        ASSERT_GE(out[2 * i], 0) << i;
      } else if (loud[i] < 0) {
        ASSERT_LE(out[2 * i], 0) << i;
      }
    }
    EXPECT_LE(peak, TLimiter::Ceiling);
    EXPECT_GT(peak, 24000) << "the loud parts stay loud";
  }
}

TEST(Limiter, TheGainRampsDownAheadOfAPeakAndRecoversSlowly) {
  // A steady level with a loud step in the middle of one block: the gain is out / in.
  std::vector<int32_t> in(3 * 44100, 10000);
  std::fill(in.begin() + 2000, in.begin() + 2400, 100000);
  TLimiter l(44100);
  const auto out = Limit(l, in, 4096);
  std::vector<double> gain;
  for (size_t i = 0; i < in.size(); ++i) gain.push_back(out[2 * i] / static_cast<double>(in[i]));
  EXPECT_EQ(gain[1900], 1.0);
  EXPECT_LT(gain[1999], 0.35) << "already down when the step arrives";
  EXPECT_LE(out[2 * 2200], TLimiter::Ceiling);
  // No jumps: between neighbours the gain moves by at most one attack step (plus rounding).
  const double step = 1.0 / (44100 * TLimiter::AttackSeconds);
  for (size_t i = 1; i < gain.size(); ++i)
    ASSERT_LE(std::abs(gain[i] - gain[i - 1]), step + 1e-3) << i;
  EXPECT_LT(gain[2400 + 441], 0.9) << "10 ms after the step it is still coming back";
  EXPECT_EQ(gain.back(), 1.0) << "and a few seconds later it is back to 1";
}

}  // namespace
}  // namespace tk
