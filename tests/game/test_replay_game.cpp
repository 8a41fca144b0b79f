// Recorded games replay exactly: the journal keeps the order in which the window timers and
// the frame ticks really fired, late frames included.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "game/test_feeding_fixture.h"
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

}  // namespace
}  // namespace tk::feedtest
