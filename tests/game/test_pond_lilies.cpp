// What the lilies do to the frog: sticky strands, the hunter's swallow, the crocodile, a
// diving lily's splash, and the pickups.
#include <gtest/gtest.h>

#include "test_pond_fixture.h"

namespace tk {
namespace {

using testing::PondFixture;
using testing::SpritesOf;
namespace vk = platform::vk;

struct LilyFixture : PondFixture {
  void HeldAttempt(int tries) {
    const int score = form->Score, hunger = Pond().Hunger;
    Jump();
    EXPECT_EQ(form->Score, score + 5);
    EXPECT_EQ(Pond().Hunger, hunger + 1);
    EXPECT_TRUE(Pond().StuckToLily);
    EXPECT_EQ(Pond().StickyTries, tries);
    EXPECT_FALSE(Pond().Scrolling);
    EXPECT_FALSE(Pond().UpJumpPending);
    // Held: fire does nothing until the lily lets go.
    Ticks(3);
    Jump();
    EXPECT_EQ(form->Score, score + 5);
    EXPECT_GT(TicksUntil([&] { return !Pond().StuckToLily; }), 0);
    EXPECT_EQ(Count<game::TLiapu>(), 0) << "the strands go when the lily lets go";
    EXPECT_FALSE(Pond().StrandShown);
  }
};

TEST_F(LilyFixture, AStickyLilyHoldsThreeAttemptsAndLetsTheFourthGo) {
  EnterPond(1);
  Layout({"1111", "1111", "1111", "1111", "1111", "1T11"}, 1);
  game::TKuvshinka* sticky = LiliesAt(4, 2).at(0);
  const double sitY = Frog()->Y;

  Jump();
  EXPECT_EQ(sticky->FrameSpeed, 1.0 / 150);
  EXPECT_EQ(Pond().StickyTries, 1);
  // Once the lily passes its first frame the strands pile up and pull the frog down.
  ASSERT_GT(TicksUntil([&] { return Count<game::TLiapu>() > 0; }), 0);
  EXPECT_TRUE(Pond().StrandShown);
  EXPECT_EQ(SpritesOf<game::TLiapu>(*form).at(0)->Image->Name(), "liapuchka_c");
  Ticks(5);
  EXPECT_GT(Count<game::TLiapu>(), 5);
  EXPECT_EQ(Frog()->PatternIndex(), 3);
  EXPECT_EQ(Frog()->Y, sitY - 18 - 53);
  ASSERT_GT(TicksUntil([&] { return !Pond().StuckToLily; }), 0);
  EXPECT_EQ(Count<game::TLiapu>(), 0);
  EXPECT_EQ(sticky->FramePos, 0);
  EXPECT_EQ(Frog()->Y, sitY);

  HeldAttempt(2);
  HeldAttempt(3);
  Jump();
  EXPECT_EQ(form->Score, 20);
  EXPECT_EQ(Pond().Hunger, 4);
  EXPECT_EQ(Pond().StickyTries, 0);
  EXPECT_TRUE(Pond().Scrolling) << "the fourth attempt jumps";
}

TEST_F(LilyFixture, TurningOnAStickyLilyStartsTheCountAgain) {
  EnterPond(1);
  Layout({"1111", "1111", "1111", "1111", "1111", "1T11"}, 1);
  HeldAttempt(1);
  HeldAttempt(2);
  Face(vk::Left);
  Face(vk::Up);
  EXPECT_EQ(Pond().StickyTries, 0);
  HeldAttempt(1);
  HeldAttempt(2);
  HeldAttempt(3);
  // Sideways the lily holds as well; facing left the strands reach to the left.
  Face(vk::Left);
  Jump();
  EXPECT_TRUE(Pond().StuckToLily);
  EXPECT_EQ(Pond().FrogColumn, 1);
  ASSERT_GT(TicksUntil([&] { return Count<game::TLiapu>() > 0; }), 0);
  EXPECT_EQ(SpritesOf<game::TLiapu>(*form).at(0)->Image->Name(), "liapuchka_l");
  Ticks(3);
  EXPECT_EQ(Frog()->X, 320 - 38 - 53) << "pulled sideways by its height, being turned";
  EXPECT_EQ(Pond().StickyTries, 1) << "turning left started the count again";
  ASSERT_GT(TicksUntil([&] { return !Pond().StuckToLily; }), 0);
  EXPECT_EQ(Frog()->X, 320);
}

TEST_F(LilyFixture, AHunterLilySwallowsTheFrogOnceAndTheLifeIsLost) {
  EnterPond(1);
  Layout({"1111", "1111", "1111", "1111", "1111", "1H11"}, 0);
  Face(vk::Right);
  Jump();
  Ticks(31);  // landed on the hunter
  ASSERT_NE(Frog(), nullptr);
  game::TKuvshinka* hunter = LiliesAt(4, 2).at(0);
  EXPECT_EQ(hunter->FrameSpeed, 1.0 / 150) << "the lily closes as soon as the frog sits";
  ASSERT_GT(TicksUntil([&] { return Pond().FrogCaught; }), 0);
  EXPECT_TRUE(Pond().FrogFell);
  EXPECT_EQ(Frog(), nullptr);
  EXPECT_EQ(SoundCount("kuv_eat"), 1);
  Pond().UpJumpPending = true;  // a fallen frog starts no scroll
  Ticks(1);
  EXPECT_FALSE(Pond().Scrolling);

  const uint64_t before = plat.Now();
  ASSERT_GT(TicksUntil([&] { return form->Lives == 2; }), 0);
  EXPECT_EQ(plat.Now() - before, 500u) << "the picture stays for half a second";
  EXPECT_EQ(SoundCount("kuv_eat"), 1) << "one swallow per closing";
  // Rebuilt: same level and score, a fresh layout, the title again.
  EXPECT_EQ(form->Score, 5);
  EXPECT_EQ(form->Level, 1);
  EXPECT_EQ(Pond().Hunger, 0);
  EXPECT_FALSE(Pond().LifeLost);
  EXPECT_FALSE(Pond().FrogCaught);
  EXPECT_TRUE(form->LevelTitleShown);
  EXPECT_NE(Frog(), nullptr);
  EXPECT_EQ(form->CurrentScene, ScenePond);
}

TEST_F(LilyFixture, TheCrocodileTakesControlAtTheFourthBlinkAndBitesAtTheFifth) {
  EnterPond(1);
  Layout({"1111", "1111", "11C1", "1111", "1111", "1C11"}, 1);
  auto eyesList = SpritesOf<game::TVeki_Kroko>(*form);
  ASSERT_EQ(eyesList.size(), 2u);
  game::TVeki_Kroko* eyes = eyesList[0]->Row == 4 ? eyesList[0] : eyesList[1];
  game::TVeki_Kroko* far = eyes == eyesList[0] ? eyesList[1] : eyesList[0];
  Ticks(1);
  EXPECT_EQ(eyes->FrameSpeed, 0.002);
  EXPECT_EQ(far->FrameSpeed, 0);

  const int lost = TicksUntil([&] { return !Pond().FrogControllable; });
  EXPECT_NEAR(lost, 125, 2) << "a blink every 31 ticks or so";
  EXPECT_EQ(eyes->BlinkCount, 4);
  Hold(vk::Left, true);
  Ticks(1);
  Hold(vk::Left, false);
  EXPECT_EQ(Pond().FrogFacing, 2) << "no control left";

  const int bite = TicksUntil([&] { return Count<game::TKroko>() > 0; });
  EXPECT_NEAR(bite, 31, 2);
  EXPECT_TRUE(Pond().FrogFrozen);
  EXPECT_TRUE(LiliesAt(4, 2).empty()) << "the crocodile comes up in the lily's place";
  EXPECT_EQ(Count<game::TVeki_Kroko>(), 1);
  auto* kroko = SpritesOf<game::TKroko>(*form).at(0);
  EXPECT_EQ(kroko->X, 320 - 150);
  EXPECT_EQ(kroko->Y, 575 - 150);
  EXPECT_NE(Frog(), nullptr) << "frozen, not gone";

  // The bite takes the life on every move while its frame shows, until the rebuild.
  int moves = 0;
  while (!Pond().LifeLost && moves < 100) {
    form->SpriteEngine.Move(MoveUnits);
    form->SpriteEngine.FreeDead();
    ++moves;
  }
  ASSERT_TRUE(Pond().LifeLost);
  EXPECT_EQ(SoundCount("kroco"), 1);
  Pond().LifeLost = false;
  form->SpriteEngine.Move(MoveUnits);
  EXPECT_TRUE(Pond().LifeLost);
  EXPECT_EQ(SoundCount("kroco"), 2);
  Ticks(1);
  EXPECT_EQ(form->Lives, 2);
  EXPECT_EQ(Count<game::TKroko>(), 0);
  EXPECT_TRUE(Pond().FrogControllable);
  EXPECT_FALSE(Pond().FrogFrozen);
}

TEST_F(LilyFixture, LeavingACrocodileLilyStopsTheEyesAndForgetsTheBlinks) {
  EnterPond(1);
  Layout({"1111", "1111", "1111", "1111", "1111", "1C11"}, 1);
  auto* eyes = SpritesOf<game::TVeki_Kroko>(*form).at(0);
  Ticks(70);
  EXPECT_EQ(eyes->BlinkCount, 2);
  Face(vk::Right);
  Jump();
  Ticks(31);
  EXPECT_EQ(eyes->FrameSpeed, 0);
  EXPECT_EQ(eyes->FramePos, 0);
  EXPECT_EQ(eyes->BlinkCount, 0);
}

TEST_F(LilyFixture, ADivingLilyDropsTheFrogAndTheSplashTakesTheLife) {
  EnterPond(1);
  Layout({"1111", "1111", "1111", "1111", "1111", "1111"}, 2);
  game::TKuvshinka* lily = LiliesAt(4, 3).at(0);
  lily->FramePos = 1.9;
  Ticks(1);
  EXPECT_NE(Frog(), nullptr) << "still afloat below frame 2";
  lily->FramePos = 2.0;
  Ticks(1);
  EXPECT_TRUE(Pond().FrogFell);
  EXPECT_EQ(Frog(), nullptr);
  auto splashes = SpritesOf<game::TBrizgi>(*form);
  ASSERT_EQ(splashes.size(), 1u);
  EXPECT_EQ(splashes[0]->X, 470 - 50);
  EXPECT_EQ(splashes[0]->Y, 575 - 100 + 30);
  EXPECT_EQ(SoundCount("brizg"), 1);

  const uint64_t before = plat.Now();
  const int ticks = TicksUntil([&] { return form->Lives == 2; });
  EXPECT_NEAR(ticks, 30, 2) << "the splash plays once, then the life goes";
  EXPECT_EQ(plat.Now() - before, 500u);
  EXPECT_EQ(Count<game::TBrizgi>(), 0);
}

TEST_F(LilyFixture, APlainLilyRestsDivesLingersAndRises) {
  EnterPond(1);
  Layout({"1111", "1111", "1111", "1111", "1111", "1111"}, 0);
  game::TKuvshinka* l = LiliesAt(1, 3).at(0);
  const double b = 0.0003;
  l->BaseSpeed = b;
  struct Case {
    double pos;
    bool slow;
    double wantSpeed;
    bool wantSlow;
  };
  // Seven frames: 0 afloat, 1..4 going under, 5 under water, 6 rising.
  const Case cases[] = {
      {0.5, true, b / 3, false},  {1.0, false, b * 5, true},  {3.9, false, b * 5, true},
      {3.9, true, 0.123, true},   {5.0, true, b / 3, false},  {5.5, false, 0.123, false},
      {6.0, false, b * 5, true},  {6.0, true, 0.123, true},
  };
  for (const Case& c : cases) {
    l->FramePos = c.pos;
    l->SlowPhase = c.slow;
    l->FrameSpeed = 0.123;
    l->Advance(0);
    EXPECT_DOUBLE_EQ(l->FrameSpeed, c.wantSpeed) << c.pos << " " << c.slow;
    EXPECT_EQ(l->SlowPhase, c.wantSlow) << c.pos << " " << c.slow;
    EXPECT_EQ(l->SavedFramePos, c.pos);
  }
}

TEST_F(LilyFixture, APickupGoesUnderWithItsLilyAndComesBackButNotDuringAScroll) {
  EnterPond(1);
  Layout({"1111", "1111", "11$1", "1111", "1111", "1111"}, 0);
  Ticks(1);
  auto dollars = SpritesOf<game::TDollar>(*form);
  ASSERT_EQ(dollars.size(), 1u);
  EXPECT_EQ(dollars[0]->X, 470 - 20);
  EXPECT_EQ(dollars[0]->Y, 125 - 40);
  game::TKuvshinka* lily = LiliesAt(1, 3).at(0);
  auto dive = [&] {
    lily->FramePos = 1.5;
    lily->SlowPhase = false;
    lily->FrameSpeed = 0;
    Ticks(1);
  };
  auto surface = [&] {
    lily->FramePos = 0;
    lily->SlowPhase = true;
    lily->FrameSpeed = 0;
    Ticks(1);
  };
  dive();
  EXPECT_EQ(Count<game::TDollar>(), 0);
  surface();
  EXPECT_EQ(Count<game::TDollar>(), 1);
  dive();
  Jump();  // the pond scrolls
  ASSERT_TRUE(Pond().Scrolling);
  surface();
  EXPECT_EQ(Count<game::TDollar>(), 0) << "nothing comes up while the pond scrolls";
  EXPECT_FALSE(lily->SlowPhase);
}

TEST_F(LilyFixture, ADollarAndALifeAreCollectedOnceForGood) {
  EnterPond(1);
  Layout({"1111", "1111", "1111", "1111", "1$1L", "1111"}, 1);
  Ticks(1);
  ASSERT_EQ(Count<game::TDollar>(), 1);
  ASSERT_EQ(Count<game::TLife>(), 1);
  Jump();  // up: the dollar ahead comes down onto the frog
  Ticks(31);
  EXPECT_EQ(Count<game::TDollar>(), 0);
  EXPECT_EQ(form->Score, 5 + 100);
  EXPECT_EQ(SoundCount("dollar"), 1);
  EXPECT_EQ(Pond().Lily(4, 2).Pickup, 0);
  EXPECT_EQ(Pond().Lily(4, 4).Pickup, 1);

  Face(vk::Right);
  Jump();
  Ticks(31);
  Jump();
  Ticks(31);
  EXPECT_EQ(Pond().FrogColumn, 3);
  EXPECT_EQ(form->Lives, 4);
  EXPECT_EQ(SoundCount("life"), 1);
  EXPECT_EQ(Count<game::TLife>(), 0);
  EXPECT_EQ(Pond().Lily(4, 4).Pickup, 0);

  // Both lilies dive and resurface: nothing comes back.
  for (int c : {2, 4})
    for (auto* l : LiliesAt(4, c)) {
      l->FramePos = 0;
      l->SlowPhase = true;
    }
  Ticks(1);
  EXPECT_EQ(Count<game::TDollar>() + Count<game::TLife>(), 0);
  EXPECT_EQ(form->Score, 5 + 100 + 10);
  EXPECT_EQ(form->Lives, 4);
}

}  // namespace
}  // namespace tk
