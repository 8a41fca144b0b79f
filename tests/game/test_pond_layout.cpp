// The pond's layout: the random grid, the rows added by a scroll, the stone and the frog
// by level.
#include <gtest/gtest.h>

#include <map>

#include "test_pond_fixture.h"

namespace tk {
namespace {

using testing::PondFixture;
using testing::SpritesOf;

constexpr uint8_t Untouched = 99;  // a kind the layout never writes

TEST_F(PondFixture, FreshLayoutKeepsTheBottomRowPlainAndBareAndDrawsKindsInTheirShares) {
  std::map<int, int> kinds;
  int kept = 0, pickups = 0, cells = 0;
  for (int round = 0; round < 300; ++round) {
    for (int r = -1; r <= 4; ++r)
      for (int c = 1; c <= 4; ++c) Pond().Lily(r, c) = {Untouched, 7};
    Pond().Hunger = 12;
    game::FillLilyGrid(*form, Pond());
    EXPECT_EQ(Pond().Hunger, 0);
    for (int c = 1; c <= 4; ++c) {
      const game::TLilyCell& cell = Pond().Lily(4, c);
      EXPECT_TRUE(game::IsSimpleKind(cell.LilyKind)) << int(cell.LilyKind);
      EXPECT_EQ(cell.Pickup, 0);
    }
    for (int r = -1; r <= 3; ++r)
      for (int c = 1; c <= 4; ++c) {
        const game::TLilyCell& cell = Pond().Lily(r, c);
        ++cells;
        EXPECT_LE(cell.Pickup, 2);
        if (cell.Pickup != 0) {
          ++pickups;
          EXPECT_TRUE(game::IsSimpleKind(cell.LilyKind)) << "a pickup only on a plain lily";
        }
        if (cell.LilyKind == Untouched) ++kept;
        else ++kinds[cell.LilyKind];
      }
  }
  // 6000 cells: 61 % plain in three looks, 10 % hunter, 5 % kept, 10 % spring, 10 % sticky,
  // 4 % crocodile; a twentieth of the plain ones carries a pickup.
  auto share = [&](int n) { return double(n) / cells; };
  EXPECT_NEAR(share(kinds[0] + kinds[10] + kinds[20]), 0.61, 0.03);
  EXPECT_NEAR(share(kinds[0]), 0.61 / 3, 0.03);
  EXPECT_NEAR(share(kinds[20]), 0.61 / 3, 0.03);
  EXPECT_NEAR(share(kinds[1]), 0.10, 0.02);
  EXPECT_NEAR(share(kept), 0.05, 0.015);
  EXPECT_NEAR(share(kinds[2]), 0.10, 0.02);
  EXPECT_NEAR(share(kinds[3]), 0.10, 0.02);
  EXPECT_NEAR(share(kinds[4]), 0.04, 0.015);
  EXPECT_NEAR(share(pickups), 0.61 / 20, 0.01);
  EXPECT_EQ(kinds.size(), 7u);  // no other code ever appears
}

TEST_F(PondFixture, AKeptDrawLeavesThePreviousLayoutsKindInPlace) {
  // The previous layout had a sticky lily everywhere: the kept share stays sticky, so
  // sticky lilies come up about 15 % of the time instead of 10 %.
  int sticky = 0, cells = 0;
  for (int round = 0; round < 300; ++round) {
    for (int r = -1; r <= 4; ++r)
      for (int c = 1; c <= 4; ++c) Pond().Lily(r, c) = {game::KindSticky, 0};
    game::FillLilyGrid(*form, Pond());
    for (int r = -1; r <= 3; ++r)
      for (int c = 1; c <= 4; ++c, ++cells) sticky += Pond().Lily(r, c).LilyKind == 3;
  }
  EXPECT_NEAR(double(sticky) / cells, 0.15, 0.02);
}

TEST_F(PondFixture, ANewRowShiftsTheGridDownAndUsesOnlyTheFirstPlainLook) {
  std::map<int, int> kinds;
  int pickups = 0, cells = 0;
  for (int round = 0; round < 300; ++round) {
    for (int r = -1; r <= 4; ++r)
      for (int c = 1; c <= 4; ++c)
        Pond().Lily(r, c) = {uint8_t(10 * (r + 1) + c), uint8_t((r + c) % 3)};
    game::AddLilyRow(*form, Pond());
    for (int r = 0; r <= 4; ++r)
      for (int c = 1; c <= 4; ++c) {
        ASSERT_EQ(Pond().Lily(r, c).LilyKind, 10 * r + c);
        ASSERT_EQ(Pond().Lily(r, c).Pickup, (r - 1 + c) % 3);
      }
    for (int c = 1; c <= 4; ++c, ++cells) {
      const game::TLilyCell& cell = Pond().Lily(-1, c);
      ++kinds[cell.LilyKind];
      if (cell.Pickup) {
        ++pickups;
        EXPECT_EQ(cell.LilyKind, 0);
      }
    }
  }
  auto share = [&](int n) { return double(n) / cells; };
  EXPECT_EQ(kinds.size(), 5u);  // 0, 1, 2, 3, 4: looks 2 and 3 never come from a scroll
  EXPECT_NEAR(share(kinds[0]), 0.71, 0.04);
  EXPECT_NEAR(share(kinds[1]), 0.05, 0.02);
  EXPECT_NEAR(share(kinds[2]), 0.10, 0.03);
  EXPECT_NEAR(share(kinds[3]), 0.10, 0.03);
  EXPECT_NEAR(share(kinds[4]), 0.04, 0.02);
  EXPECT_NEAR(share(pickups), 0.71 / 20, 0.015);
}

TEST_F(PondFixture, StoneFrogAndFirstLiliesFollowTheLevel) {
  struct Case {
    int level;
    double stoneY;
    int stoneRow;
    int lilies;  // rows 0..4 less the stone's cell when it is on screen
    int frogWidth, frogHeight, frogLift;
  };
  const Case cases[] = {
      {1, 135, 2, 19, 34, 53, 30},
      {2, -165, 0, 19, 45, 70, 32},
      {3, -465, -2, 20, 56, 87, 34},
      {5, -1065, -6, 20, 67, 104, 50},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.level);
    EnterPond(c.level);
    auto stones = SpritesOf<game::TStone>(*form);
    ASSERT_EQ(stones.size(), 1u);
    EXPECT_EQ(stones[0]->Y, c.stoneY);
    EXPECT_EQ(stones[0]->X, 0);
    EXPECT_EQ(Pond().StoneRow, c.stoneRow);
    EXPECT_EQ(Count<game::TKuvshinka>(), c.lilies);
    if (c.stoneRow >= 0) {
      EXPECT_TRUE(LiliesAt(c.stoneRow, 1).empty());
    }
    EXPECT_TRUE(LiliesAt(-1, 2).empty()) << "no lily above the screen on the first build";
    for (int col = 1; col <= 4; ++col) {
      auto bottom = LiliesAt(4, col);
      ASSERT_EQ(bottom.size(), 1u);
      EXPECT_EQ(bottom[0]->KindName, "simple");
      EXPECT_EQ(bottom[0]->FramePos, 0) << "the frog's row starts afloat";
      EXPECT_EQ(bottom[0]->Y, 575 - 80);
      EXPECT_EQ(bottom[0]->X, game::LilyCentre(4, col).x - 65);
    }
    game::TPlayerSprite* frog = Frog();
    ASSERT_NE(frog, nullptr);
    EXPECT_EQ(frog->Width, c.frogWidth);
    EXPECT_EQ(frog->Height, c.frogHeight);
    EXPECT_EQ(frog->X, game::LilyCentre(4, Pond().FrogColumn + 1).x);
    EXPECT_EQ(frog->Y, 575 - c.frogLift);
    EXPECT_EQ(Pond().FrogFacing, 2);
    EXPECT_TRUE(form->LevelTitleShown);
    EXPECT_TRUE(form->Timer1.Enabled());
    EXPECT_EQ(form->Timer1.Interval(), 3300u);
    EXPECT_EQ(Count<game::TPanel>(), 3);
    EXPECT_EQ(Count<game::TBottle>(), 1);
  }
}

TEST_F(PondFixture, EveryCrocodileLilyHasItsEyesAndTheFirstChildDrivesTheScroll) {
  EnterPond(3);
  EXPECT_STREQ(form->Engine().Children(0)->ClassName(), "TSample");
  int crocodiles = 0;
  for (auto* l : SpritesOf<game::TKuvshinka>(*form)) {
    EXPECT_EQ(Pond().Lily(l->Row, l->Column).LilyKind == 4, l->KindName == "kroko_yes");
    crocodiles += l->KindName == "kroko_yes";
    if (l->KindName == "simple") {
      EXPECT_TRUE(l->FrameLoop);
    } else {
      EXPECT_FALSE(l->FrameLoop);
      EXPECT_EQ(l->FrameSpeed, 0);
    }
  }
  EXPECT_EQ(Count<game::TVeki_Kroko>(), crocodiles);
  for (auto* eyes : SpritesOf<game::TVeki_Kroko>(*form)) {
    EXPECT_EQ(eyes->X, game::LilyCentre(eyes->Row, eyes->Column).x);
    EXPECT_EQ(eyes->Y, game::LilyCentre(eyes->Row, eyes->Column).y - 40 - 40);
  }
}

TEST(LilyGeometry, CentresAndSizeClasses) {
  EXPECT_EQ(game::LilyCentre(-1, 1).x, 170);
  EXPECT_EQ(game::LilyCentre(-1, 1).y, -175);
  EXPECT_EQ(game::LilyCentre(4, 4).x, 620);
  EXPECT_EQ(game::LilyCentre(4, 4).y, 575);
  const std::pair<int, int> classes[] = {{0, 1}, {4, 1}, {10, 2}, {3, 2}, {1, 3}, {2, 3}, {20, 3}};
  for (auto [kind, size] : classes) EXPECT_EQ(game::SizeClass(uint8_t(kind)), size) << kind;
  EXPECT_EQ(game::Round(2.5), 2);
  EXPECT_EQ(game::Round(3.5), 4);
  EXPECT_EQ(game::Round(-0.5), 0);
}

}  // namespace
}  // namespace tk
