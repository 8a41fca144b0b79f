// The pond scene's course: the level title, pause and an inactive window freeze it; the
// stone ends the stage; lives are lost to the water, to hunger and at last to game over.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/Cp1251.h"
#include "test_pond_fixture.h"

namespace tk {
namespace {

using testing::PondFixture;
using testing::SpritesOf;
namespace vk = platform::vk;

struct FlowFixture : PondFixture {
  // Pixels of the HUD's yellow inside a rectangle of the back surface.
  int YellowIn(int x0, int y0, int x1, int y1) {
    TSurface& s = form->Surface();
    int n = 0;
    for (int y = std::max(y0, 0); y < std::min(y1, s.Height()); ++y)
      for (int x = std::max(x0, 0); x < std::min(x1, s.Width()); ++x)
        n += (s.Row(y)[x] & 0xFFFFFF) == 0xFFFF00;
    return n;
  }
  void Fall() {
    LiliesAt(4, Pond().FrogColumn + 1).at(0)->FramePos = 2.0;
  }
};

TEST_F(FlowFixture, TheBuildStartsAmbienceAndTheTitleFreezesPlayFor3300Ms) {
  form->MusicRestartPending = true;
  EnterPond(2);
  EXPECT_EQ(SoundCount("fon1"), 1);
  EXPECT_EQ(SoundCount("frog_bir"), 1);
  EXPECT_EQ(form->Cursor(), platform::Cursor::Hidden);
  EXPECT_FALSE(form->MusicRestartPending);
  game::TPlayerSprite* frog = Frog();
  const double framePos = frog->FramePos;
  Ticks(20);
  EXPECT_EQ(frog->FramePos, framePos) << "nothing moves under the title";
  EXPECT_GT(YellowIn(300, 285, 520, 330), 0) << "the level title";
  EXPECT_GT(YellowIn(140, 0, 700, 20), 0) << "the status line";

  form->FireHeld = true;
  Run(3299);
  EXPECT_TRUE(form->LevelTitleShown);
  Run(1);
  EXPECT_FALSE(form->LevelTitleShown);
  EXPECT_FALSE(form->FireHeld) << "a key held through the title does not jump";
  EXPECT_FALSE(form->Timer1.Enabled());
  Ticks(1);
  EXPECT_NE(frog->FramePos, framePos);
  EXPECT_EQ(YellowIn(300, 285, 520, 330), 0);
}

TEST_F(FlowFixture, PauseAndAnInactiveWindowFreezeThePond) {
  EnterPond(1);
  Layout({"1111", "1111", "1111", "1111", "1111", "1111"}, 1);
  Face(vk::Right);
  Jump();
  Ticks(10);
  EXPECT_EQ(Frog()->X, 370);

  form->OnKeyDown('P', {});
  EXPECT_TRUE(form->Paused);
  Ticks(10);
  EXPECT_EQ(Frog()->X, 370);
  EXPECT_GT(YellowIn(315, 285, 460, 330), 0) << "the pause banner";
  form->OnKeyDown('P', {});
  Ticks(5);
  EXPECT_EQ(Frog()->X, 395);

  form->OnActivate(false);
  plat.SetFocus(false);
  Ticks(10);
  EXPECT_EQ(Frog()->X, 395);
  form->OnActivate(true);
  plat.SetFocus(true);
  Ticks(15);
  EXPECT_EQ(Frog()->X, 470);
}

TEST_F(FlowFixture, TheStoneEndsThePondOnlyOnceTheScrollHasStopped) {
  EnterPond(1);
  Layout({"1111", "1111", "1111", "1111", "1111", "1111"}, 0);
  EXPECT_TRUE(LiliesAt(2, 1).empty()) << "the stone's cell";
  Jump();
  Ticks(31);
  EXPECT_TRUE(Pond().StoneNotReached);
  Jump();
  Ticks(30);
  EXPECT_TRUE(Pond().StoneNotReached) << "touching in passing does not count";
  EXPECT_TRUE(Pond().Scrolling);
  const uint64_t before = plat.Now();
  Ticks(1);
  EXPECT_EQ(form->CurrentScene, SceneFeeding);
  EXPECT_EQ(plat.Now() - before, 200u);
  EXPECT_EQ(form->Engine().ChildCount(), 0) << "the pond was left";
  EXPECT_TRUE(form->MusicRestartPending);
}

TEST_F(FlowFixture, TheLastLifeEndsTheGameWithLivesLeftAtOne) {
  EnterPond(1);
  Layout({"1111", "1111", "1111", "1111", "1111", "1111"}, 2);
  form->Lives = 1;
  Fall();
  const uint64_t before = plat.Now();
  ASSERT_GT(TicksUntil([&] { return form->CurrentScene != ScenePond; }), 0);
  EXPECT_EQ(form->CurrentScene, SceneGameOver);
  EXPECT_EQ(form->Lives, 1);
  EXPECT_EQ(plat.Now() - before, 700u);
  EXPECT_FALSE(form->GameOver) << "cleared as the pond is left";
}

TEST_F(FlowFixture, TheBottleRisesEveryLevelJumpsAndAnEmptyBottleStarvesTheFrog) {
  EnterPond(3);
  Layout({"1111", "1111", "1111", "1111", "1111", "1111"}, 1);
  auto* bottle = SpritesOf<game::TBottle>(*form).at(0);
  EXPECT_EQ(bottle->X, 800 - 50);
  struct Step {
    int hunger, stage, ups, downs;
    bool notHungry;
  };
  const Step steps[] = {{2, 0, 0, 0, true}, {3, 1, 1, 0, false}, {5, 1, 1, 0, false},
                        {6, 2, 2, 0, false}, {3, 1, 2, 1, false}, {0, 0, 2, 2, true}};
  for (const Step& s : steps) {
    Pond().Hunger = s.hunger;
    Ticks(1);
    EXPECT_EQ(bottle->Stage, s.stage) << s.hunger;
    EXPECT_EQ(Pond().NotHungry, s.notHungry) << s.hunger;
    EXPECT_EQ(SoundCount("bottle_up"), s.ups) << s.hunger;
    EXPECT_EQ(SoundCount("bottle_down"), s.downs) << s.hunger;
  }
  Pond().Hunger = 23;  // stage 7, the last picture
  Ticks(1);
  EXPECT_FALSE(Pond().Starved);
  const uint64_t before = plat.Now();
  Face(vk::Right);
  Jump();  // the 24th jump empties the bottle
  EXPECT_EQ(plat.Now() - before, 500u);
  EXPECT_EQ(form->Lives, 2);
  EXPECT_EQ(Pond().Hunger, 0);
  EXPECT_FALSE(Pond().Starved);
  EXPECT_EQ(form->Level, 3);
}

TEST_F(FlowFixture, PanelsStretchByWidthUnits) {
  EnterPond(1);
  auto panels = SpritesOf<game::TPanel>(*form);
  ASSERT_EQ(panels.size(), 3u);
  EXPECT_EQ(panels[0]->X, 140);
  EXPECT_EQ(panels[0]->Width, 115 + 30);
  EXPECT_EQ(panels[1]->X, 525);
  EXPECT_EQ(panels[1]->Width, 115 + 90);
  EXPECT_EQ(panels[2]->X, 335);
  EXPECT_EQ(panels[2]->Height, 32);
  for (auto* p : panels) EXPECT_EQ(p->Z(), 905);
}

}  // namespace
}  // namespace tk
