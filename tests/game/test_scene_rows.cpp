// The scene table's rows of the main menu and the two play scenes as the assembled game
// fills them: leave steps, keys, pause, the close request; and the play modules' frame
// steps, the tongue's aim and the frog's cooldowns.
#include <tuple>

#include "test_feeding_fixture.h"

namespace tk::feedtest {
namespace {

namespace vk = platform::vk;

struct SceneRows : ::testing::Test {
  Game g;
  TMainForm* form = &g.F();
  void Key(int key, platform::KeyMods mods = {}) { g.Key(key, mods); }
};

TEST_F(SceneRows, AimAngleFollowsThePointerWithinItsLimits) {
  struct Case {
    int mouseX;
    bool centred, paused, exitOpen;
    double adjust, before, want;
  };
  const Case cases[] = {
      {0, false, false, false, 0, 180, 120},    {799, false, false, false, 0, 180, 240},
      {400, false, false, false, 0, 150, 180},  {420, false, false, false, -10, 0, 188},
      {0, true, true, false, 25, 150, 205},     {0, true, false, false, -90, 150, 120},
      {700, false, false, true, 0, 150, 150},   {700, false, true, false, 0, 200, 200},
  };
  for (const Case& c : cases) {
    form->MouseX = c.mouseX;
    g.Feeding().AimCentred = c.centred;
    form->Paused = c.paused;
    form->GameMainExit = c.exitOpen;
    g.Feeding().AimAdjust = c.adjust;
    g.Feeding().AimAngle = c.before;
    form->FrameTick();
    EXPECT_DOUBLE_EQ(g.Feeding().AimAngle, c.want) << "x " << c.mouseX;
  }
}

TEST_F(SceneRows, TheFrogsCooldownsRunDownInEveryScene) {
  auto& p = g.Pond();
  for (uint8_t scene : {SceneMainMenu, SceneHelp, SceneOptions}) {
    form->SwitchScene(scene);
    p.TurnLeftCooldown = 2;
    p.TurnRightCooldown = 3;
    p.TurnUpCooldown = 0;
    p.JumpCooldown = 1;
    form->FrameTick();
    EXPECT_EQ(std::tie(p.TurnLeftCooldown, p.TurnRightCooldown, p.TurnUpCooldown, p.JumpCooldown),
              std::make_tuple(uint8_t{1}, uint8_t{2}, uint8_t{0}, uint8_t{0}))
        << SceneName(scene);
    form->FrameTick();
    form->FrameTick();
    EXPECT_EQ(std::tie(p.TurnLeftCooldown, p.TurnRightCooldown, p.TurnUpCooldown, p.JumpCooldown),
              std::make_tuple(uint8_t{0}, uint8_t{0}, uint8_t{0}, uint8_t{0}))
        << SceneName(scene) << ": they stop at 0";
  }
}

TEST_F(SceneRows, EachSceneHasItsOwnLeaveSteps) {
  int saves = 0;
  form->Hooks.SaveSettings = [&] { ++saves; };
  form->CurrentScene = SceneMainMenu;
  form->Level = 7;
  form->SwitchScene(SceneOptions);
  EXPECT_EQ(form->Level, 1);
  EXPECT_EQ(form->Score, 0);
  EXPECT_EQ(form->Lives, 3);
  form->GamegoEdit = true;
  form->SwitchScene(SceneHighScores);
  EXPECT_FALSE(form->GamegoEdit);
  EXPECT_EQ(saves, 1);
  form->SwitchScene(SceneFeeding);
  EXPECT_EQ(saves, 2);
  form->GameOver = true;
  form->SwitchScene(SceneGameOver);
  EXPECT_TRUE(form->MusicRestartPending);
  EXPECT_FALSE(form->GameOver);
  form->GameEnterName = form->GameSendResult = true;
  form->SwitchScene(SceneMainMenu);
  EXPECT_FALSE(form->GameEnterName || form->GameSendResult);
  EXPECT_EQ(saves, 3);
}

TEST_F(SceneRows, KeyRowsOfTheMainMenuAndThePlayScenes) {
  int exits = 0;
  form->Hooks.GameMainExitClick = [&] {
    ++exits;
    form->GameMainExit = !form->GameMainExit;
  };
  // Main menu: Alt+Enter only toggles full screen; Enter starts a game unless the prompt is up.
  form->SwitchScene(SceneMainMenu);
  Key(vk::Enter, {true, false, false});
  EXPECT_EQ(form->CurrentScene, SceneMainMenu);
  EXPECT_TRUE(form->GameFullScreen);
  form->GameMainExit = true;
  Key(vk::Enter);
  EXPECT_EQ(form->CurrentScene, SceneMainMenu);
  form->GameMainExit = false;
  Key(vk::Enter);
  EXPECT_EQ(form->CurrentScene, ScenePond);
  EXPECT_EQ(form->Lives, 3);
  // Pond: the key-down of W after Space clears the fire input again.
  form->OnKeyDown(vk::Space, {});
  EXPECT_TRUE(form->FireHeld);
  form->OnKeyDown('W', {});
  EXPECT_FALSE(form->FireHeld);
  form->OnKeyDown('W', {false, true, false});
  EXPECT_TRUE(form->FireHeld);
  // P pauses and toggles Timer1; Esc while paused does nothing; P with the prompt open neither.
  form->Timer1.SetEnabled(false);
  Key('P');
  EXPECT_TRUE(form->Paused);
  EXPECT_TRUE(form->Timer1.Enabled());
  Key(vk::Esc);
  EXPECT_EQ(exits, 0);
  Key('P');
  Key(vk::Esc);
  EXPECT_EQ(exits, 1);
  Key('P');
  EXPECT_FALSE(form->Paused);
  // Feeding: P toggles the stage clock.
  form->GameMainExit = false;
  form->SwitchScene(SceneFeeding);
  form->LevelTimer.SetEnabled(true);
  Key('P');
  EXPECT_FALSE(form->LevelTimer.Enabled());
  Key('P');
  EXPECT_TRUE(form->LevelTimer.Enabled());
}

TEST_F(SceneRows, CloseIsRefusedOutsideTheExitScreen) {
  int exits = 0;
  form->Hooks.GameMainExitClick = [&] {
    ++exits;
    form->GameMainExit = !form->GameMainExit;
  };
  form->SwitchScene(SceneHelp);
  form->OnCloseRequest();
  EXPECT_FALSE(form->Closed());
  form->GameMainExit = false;
  exits = 0;
  // Paused in the pond: the close ends the pause as P does and opens the prompt.
  form->CurrentScene = ScenePond;
  form->Paused = true;
  form->Timer1.SetEnabled(false);
  form->OnCloseRequest();
  EXPECT_FALSE(form->Closed());
  EXPECT_FALSE(form->Paused);
  EXPECT_TRUE(form->Timer1.Enabled());
  EXPECT_EQ(exits, 1);
  form->OnCloseRequest();  // the prompt is open: refused, nothing toggled
  EXPECT_EQ(exits, 1);
  // Paused in the feeding stage: the stage clock runs again.
  form->GameMainExit = false;
  form->CurrentScene = SceneFeeding;
  form->Paused = true;
  form->LevelTimer.SetEnabled(false);
  form->OnCloseRequest();
  EXPECT_TRUE(form->LevelTimer.Enabled());
}

}  // namespace
}  // namespace tk::feedtest
