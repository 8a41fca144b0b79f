// The eating frog and its tongue: walking along the bottom edge, aiming with the keys and
// the pointer, the tongue's growth and withdrawal, and where the tip ends up.
#include <cmath>
#include <numbers>
#include <set>

#include "game/Eat.h"
#include "game/Tongue.h"
#include "test_feeding_fixture.h"

namespace tk::feedtest {
namespace {

namespace vk = platform::vk;

struct TongueTest : ::testing::Test {
  Game g;
  void SetUp() override {
    g.StartFeeding(1);
    g.F().Level = 0;  // no insects in the way
    g.Frames(1);
    g.Sounds();
  }
};

TEST_F(TongueTest, ReachesFullLengthIn14TicksAndWithdrawsIn7) {
  g.Hold(vk::Space);
  g.Frames(13);
  EXPECT_EQ(g.Feeding().TongueLength, 390);
  g.Frames(1);
  EXPECT_EQ(g.Feeding().TongueLength, 400);
  g.Frames(5);
  EXPECT_EQ(g.Feeding().TongueLength, 400);
  // The slurp sounds on every tick fire is held, even at full length.
  EXPECT_EQ(CountOf(g.Sounds(), "iazik"), 19);
  g.Hold(vk::Space, false);
  g.Frames(6);
  EXPECT_EQ(g.Feeding().TongueLength, 40);
  g.Frames(1);
  EXPECT_EQ(g.Feeding().TongueLength, 0);
  EXPECT_EQ(CountOf(g.Sounds(), "iazik"), 0);
}

TEST_F(TongueTest, AMouseButtonShootsItUntilReleased) {
  g.F().OnMouseDown(platform::MouseButton::Right, 400, 300);
  g.Frames(3);
  EXPECT_EQ(g.Feeding().TongueLength, 90);
  g.F().OnMouseUp(platform::MouseButton::Right, 400, 300);
  g.Frames(1);
  EXPECT_EQ(g.Feeding().TongueLength, 30);
}

TEST_F(TongueTest, UpAndDownTurnTheAimUpToItsLimits) {
  g.Hold(vk::Up);
  g.Frames(30);
  EXPECT_EQ(g.Feeding().AimAdjust, -60);
  EXPECT_EQ(g.Feeding().AimAngle, 120);
  g.Hold(vk::Up, false);
  g.Hold('S');
  g.Frames(40);
  EXPECT_EQ(g.Feeding().AimAdjust, 60);
  EXPECT_EQ(g.Feeding().AimAngle, 240);
  g.Hold('S', false);
  // Against the pointer's own limits: at 240 Down changes nothing, at 120 Up does not.
  g.F().OnMouseMove(799, 300);
  g.Frames(1);
  EXPECT_FALSE(g.Feeding().AimCentred);
  g.Hold(vk::Down);
  g.Frames(5);
  EXPECT_EQ(g.Feeding().AimAdjust, 60);
  g.Hold(vk::Down, false);
  g.F().OnMouseMove(0, 300);
  g.Feeding().AimAdjust = -60;
  g.Frames(1);
  g.Hold('W');
  g.Frames(5);
  EXPECT_EQ(g.Feeding().AimAdjust, -60);
}

TEST_F(TongueTest, TheTipStandsAtTheEndOfTheTongueInTheAimsDirection) {
  auto* tip = g.First<game::TKonec_Iazik>();
  auto* body = g.First<game::TIazik>();
  auto* frog = g.First<game::TPlayerSpriteEat>();
  // Straight up from the mouth, 30 px at rest.
  EXPECT_EQ(body->X, frog->X + 70);
  EXPECT_EQ(body->Y, 500);
  EXPECT_NEAR(tip->X, frog->X + 68, 1e-9);
  EXPECT_NEAR(tip->Y, 470, 1e-9);
  g.Hold(vk::Space);
  g.Frames(14);
  EXPECT_NEAR(tip->X, frog->X + 68, 1e-9);
  EXPECT_NEAR(tip->Y, 500 - 430, 1e-9);
  // Turned fully left (120 degrees): 30 degrees above the horizontal.
  g.Feeding().AimAdjust = -60;
  g.Frames(1);
  const double a = 30 * std::numbers::pi / 180;
  EXPECT_NEAR(tip->X, frog->X + 68 - std::cos(a) * 430, 1e-9);
  EXPECT_NEAR(tip->Y, 500 - std::sin(a) * 430, 1e-9);
}

TEST_F(TongueTest, TheFrogWalksBetweenTheEdgesAndRaisesItsMouthAsItSteps) {
  auto* frog = g.First<game::TPlayerSpriteEat>();
  EXPECT_EQ(frog->Y, 600 - frog->Height);
  const double start = frog->X;
  EXPECT_EQ(start, 400 - frog->Width / 2.0);
  g.Hold(vk::Left);
  std::set<int> lifts;
  for (int k = 1; k <= 200; ++k) {
    g.Frames(1);
    ASSERT_EQ(frog->X, std::max(0.0, start - 5 * k));
    ASSERT_EQ(g.Feeding().TongueBaseX, frog->X);
    // The lift follows the step frame.
    const int lift[] = {0, 25, 65};
    ASSERT_EQ(g.Feeding().TongueLift, lift[static_cast<int>(frog->FramePos)]);
    lifts.insert(g.Feeding().TongueLift);
  }
  EXPECT_EQ(lifts, (std::set<int>{0, 25, 65}));
  g.Hold(vk::Left, false);
  g.Hold('D');
  g.Frames(200);
  EXPECT_EQ(frog->X, 800 - frog->Width);
  g.Hold('D', false);
  // A released key lets the step animation finish its pass and rest on the first frame.
  g.Frames(20);
  EXPECT_EQ(frog->FramePos, 0);
  EXPECT_EQ(g.Feeding().TongueLift, 0);
  EXPECT_EQ(g.First<game::TIazik>()->Y, 500);
}

}  // namespace
}  // namespace tk::feedtest
