// The main window: timers, the frame tick, scene switching, keys, typing and closing.
#include <gtest/gtest.h>

#include "ShellFixture.h"
#include "platform/Cp1251.h"
#include "platform/Errors.h"

namespace tk {
namespace {

using testing::ShellFixture;
namespace vk = platform::vk;

TEST(Timers, EnablingOrChangingTheIntervalRestartsAndMissedPeriodsAreNotMadeUp) {
  platform::HeadlessPlatform plat;
  TTimer t;
  t.Attach(plat.Get().Clock.get());
  int fired = 0;
  t.OnTimer = [&] { ++fired; };
  t.SetInterval(100);
  t.SetEnabled(true);
  plat.AdvanceTo(90);
  EXPECT_FALSE(t.Poll(plat.Now()));
  t.SetInterval(50);  // restarts from 90
  plat.AdvanceTo(139);
  EXPECT_FALSE(t.Poll(plat.Now()));
  plat.AdvanceTo(140);
  EXPECT_TRUE(t.Poll(plat.Now()));
  plat.AdvanceTo(1000);  // many periods late: fires once, next due a period later
  EXPECT_TRUE(t.Poll(plat.Now()));
  EXPECT_FALSE(t.Poll(plat.Now()));
  EXPECT_EQ(t.DueAt(), 1050u);
  // A handler that disables its timer makes it one-shot.
  t.OnTimer = [&] {
    ++fired;
    t.SetEnabled(false);
  };
  plat.AdvanceTo(1050);
  EXPECT_TRUE(t.Poll(plat.Now()));
  plat.AdvanceTo(5000);
  EXPECT_FALSE(t.Poll(plat.Now()));
  EXPECT_EQ(fired, 3);
}

TEST(Timers, AHeldTimerKeepsWhatWasLeftOfItsPeriod) {
  platform::HeadlessPlatform plat;
  TTimer t;
  t.Attach(plat.Get().Clock.get());
  int fired = 0;
  t.OnTimer = [&] { ++fired; };
  t.SetInterval(1000);
  t.SetEnabled(true);
  plat.AdvanceTo(700);
  t.SetHeld(true);
  EXPECT_FALSE(t.Running());
  plat.AdvanceTo(9000);
  EXPECT_FALSE(t.Poll(plat.Now()));
  t.SetHeld(false);
  EXPECT_EQ(t.DueAt(), 9300u);
  plat.AdvanceTo(9300);
  EXPECT_TRUE(t.Poll(plat.Now()));
  // Enabled while held (the pause key ending a pause meanwhile): a whole period on release.
  t.SetEnabled(false);
  t.SetHeld(true);
  t.SetEnabled(true);
  plat.AdvanceTo(12000);
  EXPECT_FALSE(t.Poll(plat.Now()));
  t.SetHeld(false);
  EXPECT_EQ(t.DueAt(), 13000u);
  EXPECT_EQ(fired, 1);
}

TEST_F(ShellFixture, AimAngleFollowsThePointerWithinItsLimits) {
  Start();
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
    form->AimCentred = c.centred;
    form->Paused = c.paused;
    form->GameMainExit = c.exitOpen;
    form->AimAdjust = c.adjust;
    form->AimAngle = c.before;
    form->FrameTick();
    EXPECT_DOUBLE_EQ(form->AimAngle, c.want) << "x " << c.mouseX;
  }
}

TEST_F(ShellFixture, FrameTickCountsCooldownsDownAndRunsTheSceneThenFlips) {
  Start();
  std::vector<std::string> order;
  form->Scenes[SceneHelp].Build = [] {};
  form->Scenes[SceneHelp].Tick = [&] { order.push_back("tick"); };
  form->SwitchScene(SceneHelp);
  form->TurnLeftCooldown = 2;
  form->JumpCooldown = 1;
  const int presents = plat.Record().Presents;
  form->FrameTick();
  form->FrameTick();
  form->FrameTick();
  EXPECT_EQ(form->TurnLeftCooldown, 0);
  EXPECT_EQ(form->JumpCooldown, 0);
  EXPECT_EQ(order.size(), 3u);
  EXPECT_EQ(plat.Record().Presents, presents + 3);
}

TEST_F(ShellFixture, NothingTicksWhileTheDisplayIsDown) {
  int ticks = 0;
  form->Scenes[SceneHelp].Tick = [&] { ++ticks; };
  form->CurrentScene = SceneHelp;
  form->FrameTick();  // never shown: the display is not up
  EXPECT_EQ(ticks, 0);
}

TEST_F(ShellFixture, CaretBlinksFourteenTicksOnSixteenOff) {
  Start();
  struct Palka : TSprite {
    using TSprite::TSprite;
    const char* ClassName() const override { return "Palka"; }
  };
  form->Hooks.CreateCaret = [&] { form->Engine().Add<Palka>(); };
  form->GamegoEdit = true;
  form->CaretBlink = 30;
  std::vector<int> live;
  for (int i = 0; i < 30; ++i) {
    form->FrameTick();
    form->Engine().FreeDead();
    live.push_back(form->CountLiveByClassName("Palka"));
  }
  EXPECT_EQ(live[0], 1);
  EXPECT_EQ(live[13], 14);  // stacked, one per tick
  EXPECT_EQ(live[14], 0);
  EXPECT_EQ(live[29], 0);
  form->FrameTick();
  EXPECT_EQ(form->CountLiveByClassName("Palka"), 1);  // the next cycle
}

TEST_F(ShellFixture, LogoGivesWayToTheMainMenuAfterFourSeconds) {
  Start();
  EXPECT_EQ(form->CurrentScene, SceneLogo);
  EXPECT_EQ(form->CountLiveByClassName("TImageSprite"), 1);
  Run(3990);
  EXPECT_EQ(form->CurrentScene, SceneLogo);
  Run(20);
  EXPECT_EQ(form->CurrentScene, SceneMainMenu);
}

TEST_F(ShellFixture, LeaveStepsOfTheTable) {
  Start();
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

TEST_F(ShellFixture, KeyTableRows) {
  Start();
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

TEST_F(ShellFixture, GameOverKeys) {
  Start();
  int records = 0;
  form->Hooks.RecordHighScore = [&] { ++records; };
  form->SwitchScene(SceneGameOver);
  form->Timer1.SetEnabled(false);
  form->Score = form->HighScores[9].Score + 50;
  form->PlayerName.clear();
  Key(vk::Enter);  // qualifying score, empty name: nothing
  EXPECT_EQ(records, 0);
  EXPECT_EQ(form->CurrentScene, SceneGameOver);
  form->PlayerName = "Ivan";
  Key(vk::Enter);
  EXPECT_EQ(records, 1);
  // Equal to the tenth row: Enter waits 200 ms and leaves for the menu.
  form->SwitchScene(SceneGameOver);
  form->Timer1.SetEnabled(false);
  form->Score = form->HighScores[9].Score;
  const uint64_t t0 = plat.Now();
  Key(vk::Enter);
  EXPECT_EQ(form->CurrentScene, SceneMainMenu);
  EXPECT_EQ(plat.Now() - t0, 200u);
  EXPECT_EQ(records, 1);
}

TEST_F(ShellFixture, EscOnHighScoresWithTheClearDialogStaysThere) {
  Start();
  int toggles = 0;
  form->Hooks.GameClearHighScoreClick = [&] {
    ++toggles;
    form->GameClearHighScore = !form->GameClearHighScore;
  };
  form->SwitchScene(SceneHighScores);
  form->GameClearHighScore = true;
  Key(vk::Esc);
  EXPECT_EQ(form->CurrentScene, SceneHighScores);
  EXPECT_EQ(toggles, 1);
  Key(vk::Esc);
  EXPECT_EQ(form->CurrentScene, SceneMainMenu);
}

TEST_F(ShellFixture, TypingFollowsTheFieldRules) {
  Start();
  form->SwitchScene(SceneOptions);
  form->GamegoEdit = true;
  for (char c : Cp("Рос сия!ёЁ-1234567")) form->OnChar(static_cast<uint8_t>(c));
  EXPECT_EQ(form->Edit1, Cp("Россия1234"));  // blanks, punctuation and ё dropped; ten at most
  Key(vk::Backspace);
  EXPECT_EQ(form->Edit1, Cp("Россия123"));
  form->NameTextWidth = 339;  // the field is full by width
  form->OnChar('A');
  EXPECT_EQ(form->Edit1, Cp("Россия123"));
  form->GamegoEdit = false;
  Key(vk::Backspace);
  EXPECT_EQ(form->Edit1, Cp("Россия123"));
  form->SwitchScene(SceneGameOver);
  form->GamegoEdit = true;
  Key(vk::Backspace);  // empty: nothing
  for (char c : std::string("Frog_Z 1")) form->OnChar(static_cast<uint8_t>(c));
  EXPECT_EQ(form->Edit2, "FrogZ1");
}

TEST_F(ShellFixture, CloseIsRefusedOutsideTheExitScreen) {
  Start();
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

TEST_F(ShellFixture, ExitScreenClosesOnlyAfterTheCountdown) {
  Start();
  int tenths = 5;
  form->Hooks.ExitCountdownTenths = [&] { return tenths; };
  dir.Write("play.url", "[InternetShortcut]\r\nURL=http://127.0.0.1/\r\n");
  form->CurrentScene = SceneExitScreen;
  form->OnCloseRequest();
  EXPECT_FALSE(form->Closed());
  tenths = 1;
  form->OnCloseRequest();
  EXPECT_TRUE(form->Closed());
  EXPECT_EQ(plat.Record().Opened, std::vector<std::string>{"play.url"});
  EXPECT_TRUE(plat.Record().Destroyed);
  EXPECT_FALSE(form->DXTimer.Enabled());
}

TEST_F(ShellFixture, LauncherStartsAfterClosingWhenPresent) {
  Start();
  dir.Write("fscommand/wlaunch.exe", "#!/bin/sh\n");
  std::filesystem::permissions(dir.Path() / "fscommand/wlaunch.exe",
                               std::filesystem::perms::owner_all);
  form->CurrentScene = SceneExitScreen;
  form->Close();
  ASSERT_EQ(plat.Record().Spawned.size(), 1u);
  EXPECT_EQ(plat.Record().Spawned[0].back(), "target=\"_blank\"");
}

TEST_F(ShellFixture, FullScreenAndBackRestoresThePlacement) {
  Start();
  plat.Record().Placement = {300, 200, 800, 600, false};
  form->GameFullScreenClick();
  EXPECT_TRUE(plat.Record().FullScreen);
  EXPECT_TRUE(form->DXDraw.Initialized());
  plat.Record().Placement = {0, 0, 1920, 1080, false};
  form->GamegoEdit = true;
  form->GameFullScreenClick();
  EXPECT_FALSE(plat.Record().FullScreen);
  EXPECT_FALSE(form->GamegoEdit);
  EXPECT_EQ(plat.Record().Placement.X, 300);
  EXPECT_EQ(plat.Record().Placement.Y, 200);
}

TEST_F(ShellFixture, MaximisingSwitchesToFullScreenOnTheNextTick) {
  Start();
  form->OnResize();
  plat.Record().Maximized = true;
  EXPECT_FALSE(form->GameFullScreen);
  form->FrameTick();
  EXPECT_TRUE(form->GameFullScreen);
}

TEST_F(ShellFixture, CaptionMarksTheBackground) {
  Start();
  form->OnActivate(false);
  EXPECT_EQ(plat.Record().Caption, Cp("Тиноквак [Пауза]"));
  EXPECT_TRUE(form->AppInactive);
  form->OnActivate(true);
  EXPECT_EQ(plat.Record().Caption, Cp("Тиноквак"));
}

TEST_F(ShellFixture, PolledInputIsEmptyInTheBackground) {
  Start();
  plat.SetKeyHeld(vk::Space, true);
  plat.SetKeyHeld('A', true);
  form->PollInput();
  EXPECT_TRUE(form->DXInput.Fire);
  EXPECT_TRUE(form->DXInput.AltLeft);
  plat.SetFocus(false);
  form->PollInput();
  EXPECT_FALSE(form->DXInput.Fire);
}

TEST_F(ShellFixture, StartUpErrorsPropagate) {
  std::filesystem::remove(dir.Path() / "Data/Graphic.dxg");
  EXPECT_THROW(form->FormCreate(), EError);
}

TEST_F(ShellFixture, ADamagedArchiveKeepsItsMessageInTheBoxAndSaysWhereOnStderr) {
  const std::filesystem::path archive = dir.Path() / "Data/Graphic.dxg";
  std::filesystem::resize_file(archive, std::filesystem::file_size(archive) - 10);
  try {
    form->FormCreate();
    FAIL() << "no error";
  } catch (const std::exception& e) {
    ::testing::internal::CaptureStderr();
    form->HandleException(e);
    const std::string err = ::testing::internal::GetCapturedStderr();
    ASSERT_EQ(plat.Record().Messages.size(), 1u);
    EXPECT_EQ(plat.Record().Messages[0], "Stream read error");
    // The read that ran out starts inside the file.
    const std::string head = "Тиноквак: Data/Graphic.dxg: offset ", tail = ": Stream read error\n";
    ASSERT_EQ(err.rfind(head, 0), 0u) << err;
    ASSERT_GT(err.size(), head.size() + tail.size()) << err;
    EXPECT_EQ(err.substr(err.size() - tail.size()), tail);
    const auto offset = std::stoull(err.substr(head.size()));
    EXPECT_GT(offset, 0u);
    EXPECT_LE(offset, std::filesystem::file_size(archive));
  }
}

}  // namespace
}  // namespace tk
