// The feeding stage as a whole: what it builds, its clock and status line, the freeze while
// paused, asked to quit or while the window is away, and how it ends: the next pond, or game
// over.
#include "game/Eat.h"
#include "game/Feeding.h"
#include "game/Insect.h"
#include "test_feeding_fixture.h"

namespace tk::feedtest {
namespace {

namespace vk = platform::vk;

bool Drawn(const std::vector<TextCall>& texts, int x, int y, const std::string& utf8) {
  for (auto& t : texts)
    if (t.X == x && t.Y == y && t.Text == Cp(utf8.c_str())) return true;
  return false;
}

TEST(FeedingStage, BuildsTheFrogTheTongueAndTheHud) {
  Game g;
  g.Feeding().AimAdjust = 35;
  g.Feeding().StorkLegsCalled = g.Feeding().StorkLegsDown = true;
  g.Feeding().TongueLength = 400;
  g.StartFeeding(3);
  TMainForm& f = g.F();
  for (const char* cls : {"TBackgroundSprite", "TPlayerSpriteEat", "TIazik", "TKonec_Iazik",
                          "TBottle"})
    EXPECT_EQ(g.Count(cls), 1) << cls;
  EXPECT_EQ(g.Count("TPanel"), 3);
  const auto sounds = g.Sounds();
  EXPECT_EQ(CountOf(sounds, "fon2"), 1);
  EXPECT_EQ(CountOf(sounds, "bell"), 1);
  EXPECT_EQ(g.Feeding().AimAdjust, 0);
  EXPECT_FALSE(g.Feeding().StorkLegsCalled);
  EXPECT_FALSE(g.Feeding().StorkLegsDown);
  EXPECT_EQ(g.Feeding().TongueLength, 0);
  EXPECT_TRUE(g.Feeding().AimCentred);
  EXPECT_EQ(g.Feeding().TimeLeft, 49);
  EXPECT_TRUE(f.LevelTimer.Enabled());
  g.Frames(1);
  EXPECT_EQ(g.Feeding().AimAngle, 180);
}

TEST(FeedingStage, WithoutSoundTheShoreStaysQuiet) {
  Game g;
  g.F().GameSound = false;
  g.StartFeeding(1);
  g.Frames(3);
  EXPECT_TRUE(g.Sounds().empty());
}

TEST(FeedingStage, TheClockRunsFrom29AtLevel1AndTheNextPondFollowsBelowZero) {
  Game g;
  g.StartFeeding(1);
  TMainForm& f = g.F();
  EXPECT_EQ(g.Feeding().TimeLeft, 29);
  auto texts = g.FrameTexts();
  EXPECT_TRUE(Drawn(texts, 143, 0, "Время:"));
  EXPECT_TRUE(Drawn(texts, 230, 0, "29"));
  EXPECT_TRUE(Drawn(texts, 338, 0, "Жизни:"));
  EXPECT_TRUE(Drawn(texts, 450, 0, "3"));
  EXPECT_TRUE(Drawn(texts, 528, 0, "Очки:"));
  EXPECT_TRUE(Drawn(texts, 650, 0, "0"));
  for (auto& t : texts) EXPECT_EQ(t.Size, 12);
  f.Lives = 99;  // whatever the stork may do meanwhile
  g.Pond().StoneNotReached = false;
  g.Run(29 * 1000);
  EXPECT_EQ(g.Feeding().TimeLeft, 0);
  EXPECT_EQ(f.CurrentScene, SceneFeeding);
  // The second that makes it -1 ends the stage on that tick or the next.
  const uint64_t t0 = g.plat.Now();
  while (f.CurrentScene == SceneFeeding) {
    ASSERT_GE(g.Feeding().TimeLeft, 0);
    g.Frames(1);
  }
  EXPECT_EQ(g.Feeding().TimeLeft, -1);
  EXPECT_LE(g.plat.Now() - t0, 1000u + FramePeriodMs);
  EXPECT_EQ(f.CurrentScene, ScenePond);
  EXPECT_EQ(f.Level, 2);
  EXPECT_TRUE(g.Pond().StoneNotReached);
  EXPECT_EQ(g.Count("TPlayerSpriteEat"), 0);
  EXPECT_EQ(g.Count("TMushka"), 0);
}

TEST(FeedingStage, TheStageLastsTenSecondsMoreEachLevel) {
  for (int level : {1, 2, 4}) {
    Game g;
    g.StartFeeding(level);
    EXPECT_EQ(g.Feeding().TimeLeft, 10 * level + 19);
  }
}

TEST(FeedingStage, PauseAndTheExitPromptFreezeEverything) {
  Game g;
  g.StartFeeding(5);
  TMainForm& f = g.F();
  g.Frames(1);
  auto* frog = g.First<game::TPlayerSpriteEat>();
  g.Key('P');
  ASSERT_TRUE(f.Paused);
  EXPECT_FALSE(f.LevelTimer.Enabled());
  const double x = frog->X;
  const int insects = g.Count("TMushka") + g.Count("TMuha") + g.Count("TKomar") +
                      g.Count("TVodomerka") + g.Count("TPchel");
  g.Hold(vk::Left);
  g.Feeding().TimeLeft = -1;
  f.Lives = 0;
  auto texts = g.FrameTexts();
  g.Frames(200);
  EXPECT_EQ(frog->X, x);
  EXPECT_EQ(f.CurrentScene, SceneFeeding);
  EXPECT_EQ(g.Count("TMushka") + g.Count("TMuha") + g.Count("TKomar") + g.Count("TVodomerka") +
                g.Count("TPchel"),
            insects);
  EXPECT_TRUE(Drawn(texts, 320, 270, "Пауза"));
  EXPECT_TRUE(Drawn(texts, 230, 0, "-1"));
  EXPECT_TRUE(Drawn(texts, 450, 0, "0"));
  EXPECT_TRUE(Drawn(texts, 530, 0, "Очки:0"));
  // The exit prompt holds it too, without the pause banner.
  g.Feeding().TimeLeft = 10;
  f.Lives = 2;
  g.Key('P');
  g.Key(vk::Esc);
  ASSERT_TRUE(f.GameMainExit);
  texts = g.FrameTexts();
  g.Frames(50);
  EXPECT_EQ(frog->X, x);
  EXPECT_FALSE(Drawn(texts, 320, 270, "Пауза"));
  EXPECT_TRUE(Drawn(texts, 530, 0, "Очки:0"));
  g.Key(vk::Esc);
  g.Frames(1);
  EXPECT_EQ(frog->X, x - 5);
}

TEST(FeedingStage, AWindowAwayFreezesTheStageAndItsClockWhichGoOnAsTheyWere) {
  enum Away { Inactive, Minimised, Both };
  for (Away away : {Inactive, Minimised, Both}) {
    SCOPED_TRACE(away);
    Game g;
    g.StartFeeding(1, true);
    TMainForm& f = g.F();
    auto* m = f.Engine().Add<game::TMushka>(g.Pond());
    g.Run(700);  // 300 ms of the clock's first second are left
    const double x = m->X;
    const int32_t time = g.Feeding().TimeLeft, lives = f.Lives;
    const int sprites = f.Engine().ChildCount();
    auto leave = [&](bool gone) {
      if (away != Minimised) {
        f.OnActivate(!gone);
        g.plat.SetFocus(!gone);
      }
      if (away != Inactive) g.plat.Record().Minimized = gone;
    };
    leave(true);
    g.texts.clear();
    g.Run(20000);
    EXPECT_EQ(m->X, x);
    EXPECT_EQ(g.Feeding().TimeLeft, time);
    EXPECT_EQ(f.Lives, lives);
    EXPECT_EQ(f.Engine().ChildCount(), sprites) << "nothing spawns";
    EXPECT_EQ(f.CurrentScene, SceneFeeding);
    if (away == Inactive) {
      // The frozen picture keeps the running status line.
      EXPECT_TRUE(Drawn(g.texts, 650, 0, "0"));
      EXPECT_FALSE(Drawn(g.texts, 320, 270, "Пауза"));
    }
    leave(false);
    g.Run(290);
    EXPECT_EQ(g.Feeding().TimeLeft, time) << "the second goes on where it stopped";
    EXPECT_NE(m->X, x);
    g.Run(20);
    EXPECT_EQ(g.Feeding().TimeLeft, time - 1);
    g.Run(1000);
    EXPECT_EQ(g.Feeding().TimeLeft, time - 2);
  }
}

TEST(FeedingStage, ThePauseKeyAndTheWindowHoldTheClockIndependently) {
  Game g;
  g.StartFeeding(1);
  TMainForm& f = g.F();
  g.Run(500);
  const int32_t time = g.Feeding().TimeLeft;
  f.OnActivate(false);
  g.plat.SetFocus(false);
  g.Key('P');  // a pause that arrives while away
  f.OnActivate(true);
  g.plat.SetFocus(true);
  g.Run(5000);
  EXPECT_EQ(g.Feeding().TimeLeft, time) << "still paused";
  g.Key('P');
  g.Run(1000);
  EXPECT_EQ(g.Feeding().TimeLeft, time - 1);
  // The pond's title timer is no stage clock: leaving the window in the pond holds nothing.
  f.OnActivate(false);
  f.SwitchScene(ScenePond);
  f.Idle();
  EXPECT_FALSE(f.LevelTimer.Held());
}

TEST(FeedingStage, TheLastLifeGoneEndsTheGameEvenOnTheStagesLastTick) {
  struct Case {
    int lives, timeLeft;
    uint8_t scene;
    int level;
  };
  const Case cases[] = {
      {1, 20, SceneFeeding, 1},
      {0, 20, SceneGameOver, 1},
      {-2, 20, SceneGameOver, 1},
      {0, -1, SceneGameOver, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lives);
    Game g;
    g.StartFeeding(1);
    g.Pond().StoneNotReached = false;  // as the pond left it
    g.F().Lives = c.lives;
    g.Feeding().TimeLeft = c.timeLeft;
    g.Frames(1);
    EXPECT_EQ(g.F().CurrentScene, c.scene);
    EXPECT_EQ(g.F().Level, c.level);
    // Leaving the stage, whichever way, puts the next pond's stone out of reach again.
    EXPECT_EQ(g.Pond().StoneNotReached, c.scene != SceneFeeding);
  }
}

}  // namespace
}  // namespace tk::feedtest
