// The portable sine and cosine against the desktop's own library, over every angle the
// game can ask for: recorded games must end the same with them as they always did.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <set>
#include <vector>

#include "media/Trig.h"

namespace tk {
namespace {

uint64_t Bits(double d) {
  uint64_t u;
  std::memcpy(&u, &d, sizeof u);
  return u;
}

// Compares both functions with the library at each angle; reports the first few misses.
void ExpectLibraryBits(const std::vector<double>& angles, const char* what) {
  int misses = 0;
  for (double a : angles) {
    if (Bits(Sin(a)) != Bits(std::sin(a)) && ++misses <= 5)
      ADD_FAILURE() << what << ": sin(" << a << ") " << Sin(a) << " vs " << std::sin(a);
    if (Bits(Cos(a)) != Bits(std::cos(a)) && ++misses <= 5)
      ADD_FAILURE() << what << ": cos(" << a << ") " << Cos(a) << " vs " << std::cos(a);
  }
  EXPECT_EQ(misses, 0) << what;
}

TEST(Trig, MatchesTheLibraryOnTheInsectsWaves) {
  // Phase / divisor: the phase grows by the speed from 0 while the insect crosses the
  // screen; the flying kinds divide by 50, 30, 10 and 60.
  std::vector<double> angles;
  for (double divisor : {50.0, 30.0, 10.0, 60.0})
    for (int32_t phase = 0; phase <= 4000; ++phase) angles.push_back(phase / divisor);
  ExpectLibraryBits(angles, "insect");
}

TEST(Trig, MatchesTheLibraryOnEveryAimOfTheTongue) {
  // The aim is the pointer's x scaled to 720 degrees across the 800 pixels, less 180,
  // plus the keys' adjustment in steps of 5, held within 120 .. 240.
  std::set<double> aims;
  const double w = 800;
  for (int mouseX = -3000; mouseX <= 5000; ++mouseX)
    for (int steps = -200; steps <= 200; ++steps) {
      double aim = mouseX / (w / 720) - 180 + 5.0 * steps;
      if (aim > 240) aim = 240.0;
      if (aim < 120) aim = 120.0;
      aims.insert(aim);
    }
  std::vector<double> angles;
  for (double aim : aims) angles.push_back((aim - 90) * std::numbers::pi / 180);
  ExpectLibraryBits(angles, "tongue");
}

TEST(Trig, MatchesTheLibraryOnEveryTurnOfAPicture) {
  std::vector<double> angles;
  for (int turn = 0; turn < 256; ++turn) angles.push_back(turn * (2.0 * M_PI / 256.0));
  ExpectLibraryBits(angles, "turn");
}

TEST(Trig, SpecialArguments) {
  EXPECT_EQ(Bits(Sin(0.0)), Bits(0.0));
  EXPECT_EQ(Bits(Sin(-0.0)), Bits(-0.0));
  EXPECT_EQ(Cos(0.0), 1.0);
  EXPECT_EQ(Cos(-0.0), 1.0);
  EXPECT_TRUE(std::isnan(Sin(NAN)));
  EXPECT_TRUE(std::isnan(Cos(INFINITY)));
  EXPECT_TRUE(std::isnan(Sin(-INFINITY)));
  // Odd and even, and exact where the library is (tiny angles, whole quadrants' neighbours).
  for (double a : {1e-300, 1e-8, 0.5, 1.0, 3.0, 100.0, 12345.678}) {
    EXPECT_EQ(Bits(Sin(-a)), Bits(-Sin(a))) << a;
    EXPECT_EQ(Bits(Cos(-a)), Bits(Cos(a))) << a;
    EXPECT_EQ(Bits(Sin(a)), Bits(std::sin(a))) << a;
    EXPECT_EQ(Bits(Cos(a)), Bits(std::cos(a))) << a;
  }
  // Next to a multiple of pi/2 the remainder cancels almost all of the angle.
  for (double a : {std::numbers::pi, std::numbers::pi / 2, 1.5 * std::numbers::pi, 100 * std::numbers::pi}) {
    EXPECT_EQ(Bits(Sin(a)), Bits(std::sin(a))) << a;
    EXPECT_EQ(Bits(Cos(a)), Bits(std::cos(a))) << a;
  }
}

}  // namespace
}  // namespace tk
