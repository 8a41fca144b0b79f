// The game-over scene: the banner for five seconds, then the name entry for a score that
// earns a place in the table, or the banner staying for one that does not.
#include "online/GameOver.h"
#include "test_feeding_fixture.h"

namespace tk::feedtest {
namespace {

struct GameOverTest : ::testing::Test {
  Game g;
  void SetUp() override { g.F().HighScores[9].Score = 100; }
  int Banner() { return g.Count("TGame_Word") + g.Count("TOver_Word"); }
};

TEST_F(GameOverTest, TheBannerShowsOverTheMenuBackgroundWithItsTune) {
  g.F().SwitchScene(SceneGameOver);
  EXPECT_EQ(g.Count("TGame_Word"), 1);
  EXPECT_EQ(g.Count("TOver_Word"), 1);
  EXPECT_EQ(g.Count("TBackgroundSprite"), 1);
  auto* game = g.First<online::TGame_Word>();
  auto* over = g.First<online::TOver_Word>();
  EXPECT_EQ(game->X, 149);
  EXPECT_EQ(game->Y, 118);
  EXPECT_EQ(over->X, 164);
  EXPECT_EQ(over->Y, 284);
  EXPECT_EQ(g.F().CurrentTrack(), "3");
  EXPECT_TRUE(g.F().Timer1.Enabled());
}

TEST_F(GameOverTest, AfterFiveSecondsAScoreForTheTableOpensTheNameEntry) {
  struct Case {
    int score;
    bool entry;
  };
  for (const Case c : {Case{150, true}, Case{100, true}, Case{99, false}, Case{0, false}}) {
    SCOPED_TRACE(c.score);
    g.F().Score = c.score;
    g.F().SetCursor(platform::Cursor::Hidden);
    // A Timer1 already running (the pond's title) does not shorten the banner.
    g.F().Timer1.SetInterval(5000);
    g.F().Timer1.SetEnabled(true);
    g.Run(3000);
    g.F().SwitchScene(SceneGameOver);
    g.Run(4990);
    EXPECT_EQ(Banner(), 2);
    EXPECT_FALSE(g.F().GameEnterName);
    g.Run(10);
    EXPECT_FALSE(g.F().Timer1.Enabled());
    EXPECT_EQ(g.F().GameEnterName, c.entry);
    EXPECT_EQ(g.Count("TEnter_Name"), c.entry ? 1 : 0);
    g.Run(10000);
    EXPECT_EQ(Banner(), c.entry ? 0 : 2);
    EXPECT_EQ(g.F().Cursor(), c.entry ? platform::Cursor::Arrow : platform::Cursor::Hidden);
    EXPECT_EQ(g.F().CurrentScene, SceneGameOver);
  }
}

}  // namespace
}  // namespace tk::feedtest
