// A frame tick that changes nothing on screen presents nothing, and the window always
// shows what the game drew: played over a soak, with the window now and then losing its
// picture as an expose or a resize would make it. A frame that changed in a band of rows
// sends only that band, and the window still shows the whole new frame.
#include <cstring>

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
    const TSurface& back = g.F().Surface();
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
}

}  // namespace
}  // namespace tk::feedtest
