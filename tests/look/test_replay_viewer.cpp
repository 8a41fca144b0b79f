// The replay viewer (ReplayViewer.h, shared by the window and the page) plays every kept
// replay to the end it was recorded with, at four times and in the large steps a busy
// window or a throttled page takes, and stands still while paused.
#include <gtest/gtest.h>

#include <filesystem>

#include "RealGame.h"
#include "ReplayViewer.h"
#include "shell/Replay.h"

namespace tk::testing {
namespace {

TEST(ReplayViewerTest, PlaysEveryKeptReplayToItsRecordedEnd) {
  RealGame game;  // the build's data in the folder the viewer reads it from
  int watched = 0;
  for (const auto& e : std::filesystem::directory_iterator(TK_SOURCE_DIR "/tests/replays")) {
    if (e.path().extension() != ".tkr") continue;
    SCOPED_TRACE(e.path().filename().string());
    const replay::TReplay r = ReadReplayForThisGame(e.path().string());
    TReplayViewer viewer(game.plat.Get(), r);
    ASSERT_TRUE(viewer.Start());
    viewer.Run(700, false, false);
    const size_t at = viewer.Position();
    viewer.Run(60000, true, false);  // paused: a minute goes by, the replay stays
    EXPECT_EQ(viewer.Position(), at);
    for (int i = 0; i < 100000 && !viewer.Done(); ++i) viewer.Run(1000, false, true);
    EXPECT_TRUE(viewer.Done());
    EXPECT_EQ(viewer.Refusal(), "");
    EXPECT_EQ(viewer.Form().Score, r.Trailer.Score);
    EXPECT_EQ(viewer.Form().Level, r.Trailer.Level);
    EXPECT_EQ(viewer.Form().Lives, r.Trailer.Lives);
    ++watched;
  }
  EXPECT_GT(watched, 0) << "no kept replays in tests/replays";
}

}  // namespace
}  // namespace tk::testing
