// The frog's moves: a jump up scrolls the pond one row (two from a spring lily), a jump to
// the side hops to the next lily; the edges, a running scroll and the cooldown refuse.
#include <gtest/gtest.h>

#include "test_pond_fixture.h"

namespace tk {
namespace {

using testing::PondFixture;
using testing::SpritesOf;
namespace vk = platform::vk;

TEST_F(PondFixture, AJumpUpScrollsThePondOneRowIn30TicksAndAddsTheNextRows) {
  EnterPond(1);
  Layout({"1111", "1111", "1111", "2222", "3332", "1111"}, 1);
  game::TKuvshinka* ahead = LiliesAt(3, 2).at(0);
  game::TKuvshinka* farther = LiliesAt(0, 3).at(0);
  auto* stone = SpritesOf<game::TStone>(*form).at(0);
  auto* water = SpritesOf<game::TScrollBackground>(*form).at(0);
  const double aheadY = ahead->Y, fartherY = farther->Y;
  const double frogX = Frog()->X, frogY = Frog()->Y;

  Jump();
  EXPECT_EQ(form->Score, 5);
  EXPECT_EQ(Pond().Hunger, 1);
  EXPECT_TRUE(Pond().Scrolling);
  EXPECT_FALSE(Pond().UpJumpPending);
  EXPECT_EQ(Pond().ScrollRows, 1);
  EXPECT_EQ(Pond().StoneRow, 3);
  EXPECT_EQ(Count<game::TRazvod>(), 1) << "a ripple where the frog pushed off";

  Ticks(30);
  EXPECT_TRUE(Pond().Scrolling);
  EXPECT_EQ(ahead->Y, aheadY + 150);
  EXPECT_EQ(farther->Y, fartherY + 150);
  EXPECT_EQ(stone->Y, 135 + 150);
  EXPECT_EQ(water->Y, 150);
  EXPECT_EQ(ahead->Row, 3) << "rows change when the scroll ends";

  Ticks(1);  // the driver ends the scroll before anything else moves
  EXPECT_FALSE(Pond().Scrolling);
  EXPECT_EQ(ahead->Y, aheadY + 150);
  EXPECT_EQ(ahead->Y, 575 - 80);
  EXPECT_EQ(ahead->Row, 4);
  EXPECT_EQ(farther->Row, 1);
  EXPECT_EQ(Frog()->X, frogX);
  EXPECT_EQ(Frog()->Y, frogY);
  // The grid moved down with the sprites; the old bottom row left the screen.
  EXPECT_EQ(Pond().Lily(4, 2).LilyKind, 20);
  EXPECT_EQ(Pond().Lily(4, 4).LilyKind, 10);
  EXPECT_EQ(ahead->Image->Name(), "kuvshinka_simple_3");
  EXPECT_TRUE(LiliesAt(5, 1).empty());
  for (int c = 1; c <= 4; ++c) {
    EXPECT_EQ(LiliesAt(0, c).size(), 1u) << "row 0 newly created, column " << c;
    EXPECT_EQ(LiliesAt(-1, c).size(), 1u);
    EXPECT_EQ(LiliesAt(-1, c).at(0)->Y, -175 - 80);
  }
  auto ripples = SpritesOf<game::TRazvod>(*form);
  ASSERT_EQ(ripples.size(), 1u) << "the landing ripple; the take-off one has played";
  EXPECT_EQ(ripples[0]->Image->Name(), "razvod3") << "sized by the lily that was ahead";
  EXPECT_EQ(ripples[0]->X, 320 - 105 - 2);

  // The next one-row scroll puts a second lily on every cell of row 0.
  Jump();
  Ticks(31);
  for (int c = 1; c <= 4; ++c) EXPECT_EQ(LiliesAt(0, c).size(), 2u) << c;
  EXPECT_EQ(Pond().StoneRow, 4);
}

TEST_F(PondFixture, AJumpFromASpringLilyScrollsTwoRowsIn30Ticks) {
  EnterPond(2);
  Layout({"1111", "1111", "11C1", "3333", "1111", "1S11"}, 1);
  game::TKuvshinka* twoAhead = LiliesAt(2, 2).at(0);
  auto* eyes = SpritesOf<game::TVeki_Kroko>(*form).at(0);
  const double y = twoAhead->Y, eyesY = eyes->Y;
  game::TKuvshinka* spring = LiliesAt(4, 2).at(0);

  Jump();
  EXPECT_EQ(spring->FrameSpeed, 1.0 / 150) << "the spring bounces";
  EXPECT_FALSE(Pond().UpJumpPending);
  EXPECT_TRUE(Pond().Scrolling);
  EXPECT_EQ(Pond().ScrollRows, 2);
  EXPECT_EQ(Pond().StoneRow, 2);
  EXPECT_EQ(eyes->Row, 3) << "the eyes' row follows the jump at once";

  Ticks(30);
  EXPECT_EQ(twoAhead->Y, y + 300);
  EXPECT_EQ(eyes->Y, eyesY + 300);
  Ticks(1);
  EXPECT_FALSE(Pond().Scrolling);
  EXPECT_EQ(Pond().ScrollRows, 1);
  EXPECT_EQ(twoAhead->Row, 4);
  EXPECT_EQ(twoAhead->Y, 495);
  EXPECT_EQ(LiliesAt(3, 3).at(0)->KindName, "kroko_yes");
  EXPECT_EQ(Pond().Lily(3, 3).LilyKind, 4);
  EXPECT_EQ(Pond().Lily(4, 1).LilyKind, 20);
  EXPECT_EQ(Pond().Lily(2, 2).LilyKind, 0) << "two rows added at the top";
  for (int c = 1; c <= 4; ++c) {
    EXPECT_EQ(LiliesAt(0, c).size(), 1u);
    EXPECT_EQ(LiliesAt(-1, c).size(), 1u);
  }
}

TEST_F(PondFixture, AHopTakes30TicksOf5PixelsAndLandsWithARipple) {
  EnterPond(1);
  Layout({"1111", "1111", "1111", "1111", "1111", "1131"}, 1);
  Face(vk::Right);
  EXPECT_EQ(Pond().FrogFacing, 1);
  Jump();
  EXPECT_EQ(Pond().FrogColumn, 2);
  EXPECT_TRUE(Frog()->HoppingRight);
  EXPECT_EQ(Frog()->X, 320);
  EXPECT_EQ(form->Score, 5);
  EXPECT_EQ(Pond().Hunger, 1);
  EXPECT_FALSE(Pond().Scrolling);

  Ticks(15);
  EXPECT_EQ(Frog()->X, 395);
  EXPECT_EQ(Frog()->PatternIndex(), 4) << "the leap's frame all the way";
  Ticks(15);
  EXPECT_EQ(Frog()->X, 470);
  EXPECT_TRUE(Frog()->HoppingRight);
  EXPECT_EQ(Count<game::TRazvod>(), 0) << "the take-off ripple has played and gone";
  Ticks(1);
  EXPECT_FALSE(Frog()->HoppingRight);
  EXPECT_EQ(Frog()->HopDistance, 0);
  auto ripples = SpritesOf<game::TRazvod>(*form);
  ASSERT_EQ(ripples.size(), 1u);
  EXPECT_EQ(ripples[0]->Image->Name(), "razvod3");
  EXPECT_EQ(ripples[0]->X, 470 - 105 - 2);
  EXPECT_EQ(ripples[0]->Y, 575 - 196 + 63);
  EXPECT_EQ(form->Score, 5);
  EXPECT_FALSE(Pond().Scrolling);
  EXPECT_EQ(Pond().StoneRow, 2) << "a hop does not scroll";
}

TEST_F(PondFixture, JumpsAreRefusedAtTheEdgesDuringAScrollAndWithinTheCooldown) {
  EnterPond(1);
  struct Edge {
    int column, key;
  };
  for (Edge edge : {Edge{0, vk::Left}, Edge{3, vk::Right}}) {
    Layout({"1111", "1111", "1111", "1111", "1111", "1111"}, edge.column);
    form->Score = 0;
    Face(edge.key);
    Ticks(3);
    Jump();
    EXPECT_EQ(Pond().FrogColumn, edge.column);
    EXPECT_EQ(form->Score, 0);
    EXPECT_EQ(Pond().Hunger, 0);
    EXPECT_EQ(Count<game::TRazvod>(), 0);
    EXPECT_FALSE(Frog()->HoppingLeft || Frog()->HoppingRight);
  }

  Layout({"1111", "1111", "1111", "1111", "1111", "1111"}, 2);
  form->Score = 0;
  Face(vk::Up);
  Jump();
  ASSERT_TRUE(Pond().Scrolling);
  Ticks(5);
  Jump();
  Face(vk::Left);
  Jump();
  EXPECT_EQ(form->Score, 5);
  EXPECT_EQ(Pond().Hunger, 1);
  EXPECT_EQ(Pond().FrogColumn, 2);
  Ticks(30);
  ASSERT_FALSE(Pond().Scrolling);

  Pond().JumpCooldown = 2;  // the frame tick counts it down before the frog looks
  Jump();
  EXPECT_EQ(form->Score, 5);
  Jump();
  EXPECT_EQ(form->Score, 10);
  EXPECT_EQ(Pond().FrogColumn, 1);
  EXPECT_EQ(Pond().JumpCooldown, 3);
}

TEST_F(PondFixture, HeldSpaceJumpsAndTheKeyboardFireFlagIsSpentByAJump) {
  EnterPond(1);
  Layout({"1111", "1111", "1111", "1111", "1111", "1111"}, 0);
  Face(vk::Right);
  form->OnKeyDown(vk::Enter, {});  // Enter fires in the pond
  EXPECT_TRUE(form->FireHeld);
  Ticks(1);
  EXPECT_FALSE(form->FireHeld);
  EXPECT_EQ(Pond().FrogColumn, 1);
  Ticks(31);
  Hold(vk::Space, true);
  Ticks(1);
  Hold(vk::Space, false);
  EXPECT_EQ(Pond().FrogColumn, 2);
  EXPECT_EQ(form->Score, 10);
}

}  // namespace
}  // namespace tk
