// A frame tick that changes nothing on screen presents nothing, and the window always
// shows what the game drew: played over a soak, with the window now and then losing its
// picture as an expose or a resize would make it. A frame that changed in a band of rows
// sends only that band, and the window still shows the whole new frame. A tick that draws
// exactly what the last one did is not even composed, and the pictures stay the same as
// when every frame is composed.
#include <cstring>
#include <map>
#include <random>
#include <vector>

#include "../../tools/sim/Soak.h"
#include "test_feeding_fixture.h"

namespace tk::feedtest {
namespace {

TEST(FrameSkip, EverySkippedFrameIsTheOneOnScreen) {
  Game g(33, /*recordSounds=*/false);
  auto& rec = g.plat.Record();
  rec.KeepsFrame = true;
  sim::SoakPlayer player(g.plat, g.F(), 33);
  std::mt19937 rng(33);
  int presents = rec.Presents, lost = 0, presentedAfterLoss = 0, bands = 0;
  uint64_t skipped = g.F().DXDraw.SkippedFlips(), checked = 0;
  bool wasLost = false;
  player.AfterTick = [&](uint8_t, uint64_t) {
    const TSurface& back = g.F().Picture();
    const size_t n = static_cast<size_t>(back.Width()) * back.Height();
    const uint64_t nowSkipped = g.F().DXDraw.SkippedFlips();
    if (nowSkipped != skipped || rec.Presents != presents) {
      ++checked;
      // Skipped or presented, the window shows this tick's picture.
      ASSERT_EQ(rec.Front.size(), n);
      ASSERT_EQ(std::memcmp(rec.Front.data(), back.Pixels(), n * 4), 0)
          << "tick " << player.Report().Ticks << ": the window shows a stale frame";
      if (rec.Presents != presents && rec.PresentedEndRow - rec.PresentedFirstRow < back.Height())
        ++bands;
      if (wasLost) {
        EXPECT_GT(rec.Presents, presents) << "a lost picture was not presented again";
        ++presentedAfterLoss;
        wasLost = false;
      }
    }
    skipped = nowSkipped;
    presents = rec.Presents;
    if (rng() % 50 == 0) {  // an expose or a resize
      rec.FrameLost = true;
      wasLost = true;
      ++lost;
    }
  };
  player.Play(4000);
  EXPECT_GT(checked, 3000u);
  // Both kinds happened: idle screens were skipped, changing ones presented.
  EXPECT_GT(g.F().DXDraw.SkippedFlips(), 100u);
  EXPECT_GT(rec.Presents, 500);
  EXPECT_GT(presentedAfterLoss, 10);
  EXPECT_GT(bands, 10);
  // Idle screens were not composed at all.
  EXPECT_GT(g.F().DXDraw.UncomposedFrames(), 100u);
}

// Two games from one seed, played alike, one composing every frame: every tick both
// windows and both back surfaces hold the same pixels, also across lost pictures.
TEST(FrameSkip, AnUncomposedFrameIsTheOneComposingWouldDraw) {
  Game shortcut(41, false), composed(41, false);
  composed.F().DXDraw.AlwaysCompose = true;
  for (Game* g : {&shortcut, &composed}) g->plat.Record().KeepsFrame = true;
  sim::SoakPlayer a(shortcut.plat, shortcut.F(), 41), b(composed.plat, composed.F(), 41);
  std::mt19937 rng(41);
  std::map<uint8_t, uint64_t> uncomposedByScene;
  uint64_t before = 0;
  for (int tick = 0; tick < 6000; ++tick) {
    a.Play(1);
    b.Play(1);
    ASSERT_EQ(shortcut.F().CurrentScene, composed.F().CurrentScene) << "tick " << tick;
    const uint64_t now = shortcut.F().DXDraw.UncomposedFrames();
    if (now != before) uncomposedByScene[shortcut.F().CurrentScene] += now - before;
    before = now;
    const auto& fa = shortcut.plat.Record().Front;
    const auto& fb = composed.plat.Record().Front;
    ASSERT_EQ(fa.size(), fb.size());
    ASSERT_TRUE(fa == fb) << "tick " << tick << " in scene "
                          << SceneName(shortcut.F().CurrentScene) << ": the windows differ";
    const TSurface& pa = shortcut.F().Picture();
    const TSurface& pb = composed.F().Picture();
    ASSERT_EQ(std::memcmp(pa.Pixels(), pb.Pixels(), static_cast<size_t>(pa.Width()) *
                                                        pa.Height() * sizeof(uint32_t)),
              0)
        << "tick " << tick << ": the back surfaces differ";
    if (rng() % 60 == 0) {
      shortcut.plat.Record().FrameLost = true;
      composed.plat.Record().FrameLost = true;
    }
  }
  EXPECT_EQ(composed.F().DXDraw.UncomposedFrames(), 0u);
  // The run met idle menu screens and left them again.
  EXPECT_GT(shortcut.F().DXDraw.UncomposedFrames(), 200u);
  EXPECT_GE(uncomposedByScene.size(), 2u);
}

// A text that changes while every sprite stays put, to one of the same length at the same
// place: the idle screen is composed again and shows it.
TEST(FrameSkip, ATextChangedInPlaceIsDrawn) {
  Game g(5, false);
  g.plat.Record().KeepsFrame = true;
  g.F().SwitchScene(SceneHighScores);
  g.F().HighScores[0].Name = "AAAA";
  g.Frames(5);
  const uint64_t idle = g.F().DXDraw.UncomposedFrames();
  g.Frames(3);
  ASSERT_GT(g.F().DXDraw.UncomposedFrames(), idle) << "the idle table was composed";
  const std::vector<uint32_t> before = g.plat.Record().Front;
  g.F().HighScores[0].Name = "WWWW";
  g.Frames(1);
  EXPECT_NE(g.plat.Record().Front, before);
  const TSurface& p = g.F().Picture();
  EXPECT_EQ(std::memcmp(g.plat.Record().Front.data(), p.Pixels(),
                        static_cast<size_t>(p.Width()) * p.Height() * sizeof(uint32_t)),
            0);
}

}  // namespace
}  // namespace tk::feedtest
