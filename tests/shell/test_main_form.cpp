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

TEST_F(ShellFixture, FrameTickRunsTheModulesStepsInOrderThenTheSceneThenFlips) {
  Start();
  std::vector<std::string> order;
  form->Hooks.FrameSteps.push_back([&] { order.push_back("first"); });
  form->Hooks.FrameSteps.push_back([&] { order.push_back("second"); });
  form->Scenes[SceneHelp].Build = [] {};
  form->Scenes[SceneHelp].Tick = [&] { order.push_back("tick"); };
  form->SwitchScene(SceneHelp);
  const int presents = plat.Record().Presents;
  form->FrameTick();
  form->FrameTick();
  EXPECT_EQ(order, (std::vector<std::string>{"first", "second", "tick", "first", "second", "tick"}));
  EXPECT_EQ(plat.Record().Presents, presents + 2);
  // A scene without a tick of its own still runs the steps.
  form->CurrentScene = SceneOptions;
  order.clear();
  form->FrameTick();
  EXPECT_EQ(order, (std::vector<std::string>{"first", "second"}));
}

TEST_F(ShellFixture, NothingTicksWhileTheDisplayIsDown) {
  int ticks = 0;
  form->Scenes[SceneHelp].Tick = [&] { ++ticks; };
  form->CurrentScene = SceneHelp;
  form->FrameTick();  // never shown: the display is not up
  EXPECT_EQ(ticks, 0);
}

TEST_F(ShellFixture, EventsGoToTheCurrentScenesRow) {
  Start();
  std::vector<std::string> log;
  auto& help = form->Scenes[SceneHelp];
  auto& options = form->Scenes[SceneOptions];
  help.Build = [&] { log.push_back("build help"); };
  help.Leave = [&] { log.push_back("leave help"); };
  help.KeyDown = [&](int key, platform::KeyMods) {
    log.push_back("help key " + std::to_string(key));
    if (key == vk::Esc) form->SwitchScene(SceneOptions);
  };
  help.KeyPress = [&](uint8_t ch) { log.push_back(std::string("help char ") + char(ch)); };
  help.MouseMove = [&] {
    log.push_back("help move " + std::to_string(form->MouseX) + "," + std::to_string(form->MouseY));
  };
  help.MouseDown = [&](platform::MouseButton) { log.push_back("help down"); };
  options.Build = [&] { log.push_back("build options"); };
  options.KeyDown = [&](int, platform::KeyMods) { log.push_back("options key"); };
  form->SwitchScene(SceneHelp);
  form->OnChar('a');
  form->OnMouseMove(12, 34);
  form->OnMouseDown(platform::MouseButton::Right, 50, 60);
  // A row that switches scenes: the next scene's rows wait for the next press.
  Key(vk::Esc);
  Key('Q');
  EXPECT_EQ(log, (std::vector<std::string>{"build help", "help char a", "help move 12,34",
                                           "help down", "help key 27", "leave help",
                                           "build options", "options key"}));
  // Alt+Enter switches the display after the scene's row, in every scene.
  Key(vk::Enter, {true, false, false});
  EXPECT_TRUE(form->GameFullScreen);
  EXPECT_EQ(log.back(), "options key");
  // Without rows nothing happens but the pointer's position.
  form->CurrentScene = SceneNone;
  form->OnMouseMove(5, 6);
  Key(vk::Esc);
  EXPECT_EQ(form->MouseX, 5);
  EXPECT_EQ(form->MouseY, 6);
}

TEST_F(ShellFixture, CloseIsRefusedOutsideAScenesOwnCloseRule) {
  Start();
  int exits = 0, pauses = 0;
  form->Hooks.GameMainExitClick = [&] {
    ++exits;
    form->GameMainExit = !form->GameMainExit;
  };
  form->Scenes[ScenePond].Pause = [&] {
    ++pauses;
    form->Paused = !form->Paused;
  };
  form->SwitchScene(SceneHelp);
  form->OnCloseRequest();
  EXPECT_FALSE(form->Closed());
  EXPECT_EQ(exits, 1);  // the prompt is asked for (the menus open it only where it exists)
  form->OnCloseRequest();  // the prompt is open: refused, nothing toggled
  EXPECT_EQ(exits, 1);
  // Paused: the close ends the pause through the scene's own Pause, then asks.
  form->GameMainExit = false;
  form->CurrentScene = ScenePond;
  form->Paused = true;
  form->OnCloseRequest();
  EXPECT_FALSE(form->Closed());
  EXPECT_FALSE(form->Paused);
  EXPECT_EQ(pauses, 1);
  EXPECT_EQ(exits, 2);
  // A scene without a Pause just ends it.
  form->GameMainExit = false;
  form->CurrentScene = SceneOptions;
  form->Paused = true;
  form->OnCloseRequest();
  EXPECT_FALSE(form->Paused);
  EXPECT_EQ(pauses, 1);
  EXPECT_EQ(exits, 3);
  // A scene's own rule decides alone.
  bool allow = false;
  form->Scenes[SceneExitScreen].CloseRequest = [&] { return allow; };
  form->CurrentScene = SceneExitScreen;
  form->OnCloseRequest();
  EXPECT_FALSE(form->Closed());
  EXPECT_EQ(exits, 3);  // not asked
  allow = true;
  form->OnCloseRequest();
  EXPECT_TRUE(form->Closed());
  EXPECT_TRUE(plat.Record().Destroyed);
}

TEST_F(ShellFixture, LauncherStartsAfterClosingWhenPresent) {
  Start();
  form->Scenes[SceneExitScreen].CloseRequest = [] { return true; };
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
