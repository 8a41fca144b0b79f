// Recorded games replay exactly: the journal keeps the order in which the window timers and
// the frame ticks really fired, late frames included.
#include <gtest/gtest.h>

#include <functional>
#include <tuple>
#include <vector>

#include "game/test_feeding_fixture.h"
#include "menus/Typing.h"
#include "online/State.h"
#include "shell/Replay.h"

namespace tk::feedtest {
namespace {

using replay::TEntry;
namespace vk = platform::vk;
// What a tick leaves behind: scene, level, clock of the stage, score, lives, hunger.
using Trace = std::vector<std::tuple<int, int, int, int, int, int>>;

void TraceTicks(TMainForm& f, Trace& out) {
  for (uint8_t s : {ScenePond, SceneFeeding}) {
    auto inner = f.Scenes[s].Tick;
    f.Scenes[s].Tick = [&f, &out, inner] {
      inner();
      out.emplace_back(f.CurrentScene, f.Level, f.Module<game::TFeedingState>().TimeLeft,
                       f.Score, f.Lives, f.Module<game::TPondState>().Hunger);
    };
  }
}

TEST(ReplayTimers, ALateFrameThatLetsTheStageClockOvertakeATickReplaysExactly) {
  replay::TReplay rec;
  Trace recorded;
  size_t overtakes = 0;
  {
    Game g;
    TMainForm& f = g.F();
    TraceTicks(f, recorded);
    f.Recorder->OnFinished = [&](replay::TReplay&& r) { rec = std::move(r); };
    f.Level = 1;
    f.Score = 0;
    f.Lives = 3;
    f.Recorder->Start();
    f.SwitchScene(SceneFeeding);
    g.Move(200, 300);
    g.Hold(vk::Space);
    // The loop by hand: whenever the stage clock is due shortly after a tick, that tick
    // is late and runs only once the clock has fired, as on a busy machine.
    while (f.CurrentScene == SceneFeeding) {
      const uint64_t now = g.plat.Now();
      uint64_t next = now + f.MsUntilNextDue();
      const uint64_t tick = f.DXTimer.DueAt(), clock = f.LevelTimer.DueAt();
      if (f.LevelTimer.Enabled() && tick <= next && clock > tick && clock - tick < FramePeriodMs) {
        next = clock;
        ++overtakes;
      }
      g.plat.AdvanceTo(next);
      f.Idle();
      if (g.Feeding().TimeLeft == 12) g.Hold(vk::Space, false);
    }
    f.Recorder->Finish();
  }
  ASSERT_GT(overtakes, 10u);
  ASSERT_FALSE(rec.Entries.empty());
  // The journal holds the overtaking: the clock's firing, then the tick at the same moment.
  size_t clockBeforeTick = 0;
  for (size_t i = 0; i + 1 < rec.Entries.size(); ++i) {
    const TEntry &a = rec.Entries[i], &b = rec.Entries[i + 1];
    if (a.Type == TEntry::Timer && a.TimerIndex == replay::LevelTimer && b.Type == TEntry::Tick &&
        a.Time == b.Time)
      ++clockBeforeTick;
  }
  EXPECT_GE(clockBeforeTick, overtakes);

  Trace replayed;
  {
    Game g;
    TMainForm& f = g.F();
    TraceTicks(f, replayed);
    f.Replaying = true;
    TReplayPlayer player(f, rec);
    player.Setup();
    while (!player.Done()) {
      g.plat.AdvanceTo(player.NextClock());
      player.Step();
    }
    EXPECT_EQ(f.Level, rec.Trailer.Level);
    EXPECT_EQ(f.Score, rec.Trailer.Score);
  }
  EXPECT_EQ(recorded.size(), replayed.size());
  EXPECT_EQ(recorded, replayed);
  // The stage ran out into the next pond on a tick that followed the clock's last firing.
  ASSERT_FALSE(recorded.empty());
  EXPECT_EQ(std::get<1>(recorded.back()), 2);
}

// A game started from the menu after an earlier one: what that game left behind (its
// score, level and lives, the frog's cooldowns) is no part of the new one, and the
// recording starts from a fresh window's values, as a proof of a result must.
TEST(ReplayWholeGame, AGameStartedFromTheMenuIsRecordedFromAFreshStart) {
  replay::TReplay rec;
  Game g;
  TMainForm& f = g.F();
  f.SwitchScene(SceneMainMenu);
  f.Score = 4321;
  f.Level = 4;
  f.Lives = 0;
  g.Pond().JumpCooldown = 3;
  f.FireHeld = true;
  f.Recorder->Enabled = true;
  f.Recorder->OnFinished = [&](replay::TReplay&& r) { rec = std::move(r); };
  g.Move(120, 40);
  g.Key(vk::Enter);
  ASSERT_EQ(f.CurrentScene, ScenePond);
  EXPECT_EQ(f.Score, 0);
  EXPECT_EQ(f.Lives, 3);
  g.Frames(10);
  f.Recorder->Finish();
  EXPECT_EQ(rec.Start.Scene, SceneMainMenu);
  EXPECT_EQ(rec.Start.Score, 0);
  EXPECT_EQ(rec.Start.Level, 0);
  EXPECT_EQ(rec.Start.JumpCooldown, 0);
  EXPECT_FALSE(rec.Start.FireHeld);
  EXPECT_EQ(WhyNotAWholeGame(rec), "");

  // It replays exactly all the same, and as a proof it is refused only for stopping
  // before the game's end.
  Game h;
  TMainForm& r = h.F();
  r.SwitchScene(SceneMainMenu);
  r.Replaying = true;
  TReplayPlayer player(r, rec);
  player.WholeGame = true;
  player.Setup();
  while (!player.Done()) {
    h.plat.AdvanceTo(player.NextClock());
    player.Step();
  }
  EXPECT_EQ(r.Score, f.Score);
  EXPECT_EQ(r.Lives, f.Lives);
  EXPECT_FALSE(player.EndedAsAWholeGame());
  EXPECT_NE(player.Refusal().find("ends before the game does"), std::string::npos) << player.Refusal();
}

// Each module keeps its own part of the state a replay starts from: the pond its cooldowns,
// the feeding stage the aim, the menus the country field and the caret, the name entry the
// name being typed. A recording started away from the menu keeps them all, and a player
// puts every one back in another window.
TEST(ReplayStart, EachModulesPartIsKeptAndPutBack) {
  Game g;
  TMainForm& f = g.F();
  f.SwitchScene(SceneHelp);
  auto& pond = g.Pond();
  pond.TurnLeftCooldown = 1;
  pond.TurnRightCooldown = 2;
  pond.TurnUpCooldown = 3;
  pond.JumpCooldown = 2;
  g.Feeding().AimAngle = 150;
  g.Feeding().AimAdjust = -30;
  g.Feeding().AimCentred = true;
  auto& typing = f.Module<menus::TTyping>();
  typing.Edit1 = "Rus";
  typing.PlayerCountry = "Ru";
  typing.CaretBlink = 7;
  typing.NameTextWidth = 51;
  f.Module<online::TOnlineState>().Edit2 = "Kot";
  f.PlayerName = "Ko";
  replay::TReplay rec;
  f.Recorder->OnFinished = [&](replay::TReplay&& r) { rec = std::move(r); };
  f.Recorder->Start();
  f.Recorder->Finish();
  const replay::TReplayStart& s = rec.Start;
  EXPECT_EQ(std::tie(s.TurnLeftCooldown, s.TurnRightCooldown, s.TurnUpCooldown, s.JumpCooldown),
            std::make_tuple(uint8_t{1}, uint8_t{2}, uint8_t{3}, uint8_t{2}));
  EXPECT_EQ(std::tie(s.AimAngle, s.AimAdjust, s.AimCentred), std::make_tuple(150.0, -30.0, true));
  EXPECT_EQ(std::tie(s.Edit1, s.PlayerCountry, s.CaretBlink, s.NameTextWidth),
            std::make_tuple(std::string("Rus"), std::string("Ru"), uint8_t{7}, int32_t{51}));
  EXPECT_EQ(s.Edit2, "Kot");
  EXPECT_EQ(s.PlayerName, "Ko");

  Game h;
  TMainForm& r = h.F();
  r.Replaying = true;
  TReplayPlayer player(r, rec);
  player.Setup();
  EXPECT_EQ(r.CurrentScene, SceneHelp);
  const auto& p = h.Pond();
  EXPECT_EQ(std::tie(p.TurnLeftCooldown, p.TurnRightCooldown, p.TurnUpCooldown, p.JumpCooldown),
            std::make_tuple(uint8_t{1}, uint8_t{2}, uint8_t{3}, uint8_t{2}));
  const auto& fs = h.Feeding();
  EXPECT_EQ(std::tie(fs.AimAngle, fs.AimAdjust, fs.AimCentred), std::make_tuple(150.0, -30.0, true));
  const auto& t = r.Module<menus::TTyping>();
  EXPECT_EQ(std::tie(t.Edit1, t.PlayerCountry, t.CaretBlink, t.NameTextWidth),
            std::make_tuple(std::string("Rus"), std::string("Ru"), uint8_t{7}, int32_t{51}));
  EXPECT_EQ(r.Module<online::TOnlineState>().Edit2, "Kot");
  EXPECT_EQ(r.PlayerName, "Ko");
}

// What a file's start and journal must be to prove a result, one way to break it at a time.
TEST(ReplayWholeGame, OnlyAStartOnTheMenuBeforeAGameIsAccepted) {
  replay::TReplay good;
  good.Start.Scene = SceneMainMenu;
  good.Start.Edit2 = "Kvakusha";
  replay::TEntry click;
  click.Type = replay::TEntry::MouseDown;
  good.Entries.push_back(click);
  ASSERT_EQ(WhyNotAWholeGame(good), "");
  const struct {
    const char* Why;
    std::function<void(replay::TReplay&)> Change;
  } cases[] = {
      {"at game over", [](replay::TReplay& r) { r.Start.Scene = SceneGameOver; }},
      {"on the pond", [](replay::TReplay& r) { r.Start.Scene = ScenePond; }},
      {"a huge score", [](replay::TReplay& r) { r.Start.Score = 14'000'000; }},
      {"a later level", [](replay::TReplay& r) { r.Start.Level = 9; }},
      {"extra lives", [](replay::TReplay& r) { r.Start.Lives = 99; }},
      {"the name entry open", [](replay::TReplay& r) { r.Start.GameEnterName = true; }},
      {"the send box ticked", [](replay::TReplay& r) { r.Start.GameSendResult = true; }},
      {"paused", [](replay::TReplay& r) { r.Start.Paused = true; }},
      {"a cooldown running", [](replay::TReplay& r) { r.Start.JumpCooldown = 2; }},
      {"a name of eleven", [](replay::TReplay& r) { r.Start.Edit2 = "Kvakushakva"; }},
      {"no journal", [](replay::TReplay& r) { r.Entries.clear(); }},
      {"a scene switch of its own",
       [](replay::TReplay& r) {
         replay::TEntry e;
         e.Type = replay::TEntry::Switch;
         e.Scene = SceneGameOver;
         r.Entries.push_back(e);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Why);
    replay::TReplay r = good;
    c.Change(r);
    EXPECT_NE(WhyNotAWholeGame(r), "");
  }
  // What the player may change on the menu is theirs: options, the table, the texts.
  replay::TReplay mine = good;
  mine.Start.GameSound = mine.Start.GameMusic = false;
  mine.Start.GameFullScreen = true;
  mine.Start.HighScores[0] = {"Kot", 99999};
  mine.Start.Edit1 = "Russia";
  mine.Start.MouseX = 400;
  EXPECT_EQ(WhyNotAWholeGame(mine), "");
}

}  // namespace
}  // namespace tk::feedtest
