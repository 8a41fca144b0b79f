// The portable sine and cosine against the desktop's own library, over every angle the
// game can ask for: recorded games must end the same with them as they always did. That
// the browser's build computes the same bits is checked by running tinokvak-crosscheck
// in both.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <vector>

#include "../../tools/crosscheck/GameAngles.h"
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

TEST(Trig, MatchesTheLibraryOnEveryAngleOfTheGame) {
  ExpectLibraryBits(crosscheck::InsectAngles(), "insect");
  ExpectLibraryBits(crosscheck::TongueAngles(), "tongue");
  ExpectLibraryBits(crosscheck::TurnAngles(), "turn");
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
