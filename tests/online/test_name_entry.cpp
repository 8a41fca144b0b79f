// The name entry at game over: when the panel opens, what typing, clicks and Enter do,
// and what each frame draws.
#include <cmath>

#include "OnlineFixture.h"

namespace tk::testing {
namespace {

namespace vk = platform::vk;
using platform::Cursor;

constexpr int kNameX = 400, kNameY = 330;  // inside the name field (250..550, 315..348)
constexpr int kBoxX = 264, kBoxY = 386;    // inside the send box (245..283, 367..405)

// Half of a width, a half pixel going to the even neighbour: 61 -> 30, 63 -> 32.
int HalfToEven(int width) { return width % 4 == 1 ? width / 2 : (width + 1) / 2; }

TEST(NameEntry, OpensAfterTheBannerOnlyForAScoreThatReachesTheTable) {
  const struct {
    int32_t Score;
    bool Opens;
  } cases[] = {{99, false}, {100, true}, {2750, true}};
  for (auto& c : cases) {
    SCOPED_TRACE(c.Score);
    OnlineGame g;
    g.Start();
    g.GameOver(c.Score, false);
    g.Run(4900);
    EXPECT_EQ(g.Count("TEnter_Name"), 0);
    EXPECT_EQ(g.Count("TGame_Word"), 1);
    g.Run(200);
    EXPECT_EQ(g.F().GameEnterName, c.Opens);
    EXPECT_EQ(g.Count("TEnter_Name"), c.Opens ? 1 : 0);
    EXPECT_EQ(g.Count("TGame_Word") + g.Count("TOver_Word"), c.Opens ? 0 : 2);
    if (c.Opens) {
      EXPECT_EQ(g.F().Cursor(), Cursor::Arrow);
    }
    // Typing starts at once into an empty name.
    EXPECT_EQ(g.F().GamegoEdit, c.Opens);
  }
}

TEST(NameEntry, TypingFollowsTheNameRules) {
  const struct {
    const char* Typed;  // UTF-8
    int Backspaces;
    const char* Name;
  } cases[] = {
      {"Петя", 0, "Петя"},
      {"Vasya 2000!", 0, "Vasya2000"},  // blank and punctuation ignored
      {"ёЁжЖ", 0, "жЖ"},                // no "ё"
      {"abcdefghijk", 0, "abcdefghij"}, // an eleventh character is ignored
      {"ab", 3, ""},                    // Backspace on an empty name does nothing
      {"abcdefghij", 1, "abcdefghi"},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.Typed);
    OnlineGame g;
    g.Start();
    g.GameOver(500);
    g.Type(c.Typed);
    for (int i = 0; i < c.Backspaces; ++i) g.Key(vk::Backspace);
    EXPECT_EQ(g.Name(), c.Name);
    g.Frames(1);
    EXPECT_EQ(Cp1251ToUtf8(g.F().PlayerName), c.Name);
  }
}

TEST(NameEntry, NothingIsTypedWhileTheFieldIsOffOrBeforeThePanel) {
  OnlineGame g;
  g.Start();
  g.GameOver(500, false);
  g.Type("abc");
  EXPECT_EQ(g.Name(), "");
  g.Run(5000);
  g.Type("Kot");
  g.Click(600, 200);  // outside both targets: typing stops once there is a name
  EXPECT_FALSE(g.F().GamegoEdit);
  g.Type("x");
  g.Key(vk::Backspace);
  EXPECT_EQ(g.Name(), "Kot");
}

TEST(NameEntry, ARememberedNameWaitsForAClickIntoTheField) {
  OnlineGame g;
  TSettings s;
  s.PlayerName = Cp("Маша");
  g.WriteSettings(s);
  g.Start();
  g.GameOver(500);
  EXPECT_TRUE(g.F().GameEnterName);
  EXPECT_FALSE(g.F().GamegoEdit);
  g.Sounds();
  g.Click(kNameX, kNameY);
  EXPECT_TRUE(g.F().GamegoEdit);
  EXPECT_EQ(g.Sounds(), std::vector<std::string>{"button_down"});
  g.Click(700, 500);
  EXPECT_FALSE(g.F().GamegoEdit);
  EXPECT_TRUE(g.Sounds().empty());
  // The field's edges count.
  for (auto [x, y] : {std::pair{250, 315}, {550, 348}}) {
    g.Click(700, 500);
    g.Click(x, y);
    EXPECT_TRUE(g.F().GamegoEdit) << x << "," << y;
  }
  for (auto [x, y] : {std::pair{249, 330}, {551, 330}, {400, 314}, {400, 349}}) {
    g.Click(x, y);
    EXPECT_FALSE(g.F().GamegoEdit) << x << "," << y;
  }
}

TEST(NameEntry, TheSendBoxTogglesItsTick) {
  OnlineGame g;
  g.Start();
  g.GameOver(500);
  g.Sounds();
  g.Click(kBoxX, kBoxY);
  g.Frames(1);
  EXPECT_TRUE(g.F().GameSendResult);
  EXPECT_EQ(g.Count("TEnter_Name_Send"), 1);
  g.Click(245, 405);  // the box's corner
  g.Frames(1);
  EXPECT_FALSE(g.F().GameSendResult);
  EXPECT_EQ(g.Count("TEnter_Name_Send"), 0);
  EXPECT_EQ(g.Sounds(), (std::vector<std::string>{"button_down", "button_down"}));
  // An empty name keeps typing on while the box is clicked.
  EXPECT_TRUE(g.F().GamegoEdit);
  g.Click(kBoxX, kBoxY);
  g.Click(kBoxX, kBoxY);
  g.Click(kBoxX, kBoxY);
  g.Frames(1);
  EXPECT_TRUE(g.F().GameSendResult);
  EXPECT_EQ(g.Count("TEnter_Name_Send"), 1);
}

TEST(NameEntry, ClicksDuringTheBannerAreIgnored) {
  OnlineGame g;
  g.Start();
  g.GameOver(50, false);
  g.Click(kBoxX, kBoxY);
  EXPECT_EQ(g.F().CurrentScene, SceneGameOver);
  EXPECT_FALSE(g.F().GameSendResult);
  g.Run(5000);
  g.Click(kBoxX, kBoxY, platform::MouseButton::Right);  // only the left button clicks
  EXPECT_EQ(g.F().CurrentScene, SceneGameOver);
  // Too low for the table: a click goes back to the menu after a short wait.
  const uint64_t before = g.plat.Now();
  g.Click(kBoxX, kBoxY);
  EXPECT_EQ(g.F().CurrentScene, SceneMainMenu);
  EXPECT_EQ(g.plat.Now() - before, 200u);
  EXPECT_FALSE(g.F().GameSendResult);
}

TEST(NameEntry, EnterNeedsANameAndAScoreAboveTheTenthRow) {
  {
    OnlineGame g;
    g.Start();
    g.GameOver(500);
    g.Key(vk::Enter);
    EXPECT_EQ(g.F().CurrentScene, SceneGameOver);
    EXPECT_EQ(g.F().HighScores[5].Score, 500);
    EXPECT_EQ(g.F().HighScores[5].Name, Cp("Ваня"));
    EXPECT_EQ(g.F().HighScores[9].Score, 100);
  }
  {
    // Equal to the tenth row: the panel opens, but Enter only leaves.
    OnlineGame g;
    g.Start();
    g.GameOver(100);
    g.Type("Kot");
    g.Frames(1);
    const uint64_t before = g.plat.Now();
    g.Key(vk::Enter);
    EXPECT_EQ(g.F().CurrentScene, SceneMainMenu);
    EXPECT_EQ(g.plat.Now() - before, 200u);  // after a short wait
    for (auto& row : g.F().HighScores) EXPECT_NE(row.Name, "Kot");
  }
}

TEST(NameEntry, EnterRecordsTheResultAndMovesTheLowerRowsDown) {
  OnlineGame g;
  g.Start();
  g.GameOver(2750);
  g.Type("Петя");
  g.Frames(1);
  g.Key(vk::Enter);
  EXPECT_EQ(g.F().CurrentScene, SceneHighScores);
  const int32_t expected[] = {3000, 2750, 2500, 2000, 1500, 1000, 500, 400, 300, 200};
  for (int k = 0; k < 10; ++k) {
    EXPECT_EQ(g.F().HighScores[k].Score, expected[k]) << k;
    EXPECT_EQ(g.F().HighScores[k].Name, k == 1 ? Cp("Петя") : Cp("Ваня")) << k;
  }
  EXPECT_TRUE(g.http->Urls.empty());  // the send box was not ticked
  // Leaving the game over wrote the file; the name is remembered for the next game.
  const TSettings saved = g.SavedSettings();
  EXPECT_EQ(saved.HighScores[1], (TLocal_HighScores{Cp("Петя"), 2750}));
  EXPECT_EQ(saved.HighScores[9].Score, 200);
  EXPECT_EQ(saved.PlayerName, Cp("Петя"));
  EXPECT_FALSE(g.F().GameEnterName || g.F().GamegoEdit || g.F().GameSendResult);
}

TEST(NameEntry, TheCentredNameRoundsItsHalfWidthToEven) {
  // Names of growing width until every remainder of the width by 4 has been drawn; a width
  // of 4k + 1 is where rounding half away from zero would put the name a pixel further left.
  OnlineGame g;
  g.Start();
  g.GameOver(12345);
  bool seen[4] = {false, false, false, false};
  std::string typed;
  for (const char* letter : {"Щ", "и", "Ж", "л", "ю", "Ф", "ы", "Ш", "к", "Д"}) {
    g.Type(letter);
    typed += Cp(letter);
    g.texts.clear();
    g.Frames(1);
    ASSERT_EQ(g.texts.size(), 2u);
    const int width = g.F().TextWidth(typed, 20);
    SCOPED_TRACE(width);
    EXPECT_EQ(g.texts[1].X, 400 - HalfToEven(width));
    seen[width % 4] = true;
  }
  EXPECT_TRUE(seen[1]) << "no name of width 4k + 1 among the cases";
}

TEST(NameEntry, EachFrameDrawsTheScoreAndTheCentredNameInGreen) {
  OnlineGame g;
  g.Start();
  g.GameOver(12345);
  g.Type("Петя");
  g.texts.clear();
  g.Frames(1);
  ASSERT_EQ(g.texts.size(), 2u);
  const TextCall& score = g.texts[0];
  EXPECT_EQ(score.Text, "12345");
  EXPECT_EQ(score.X, 410 - 12 * 5);
  EXPECT_EQ(score.Y, 225);
  const TextCall& name = g.texts[1];
  const int width = g.F().TextWidth(Cp("Петя"), 20);
  EXPECT_EQ(name.Text, Cp("Петя"));
  EXPECT_EQ(name.X, 400 - HalfToEven(width));
  EXPECT_EQ(name.Y, 310);
  for (const TextCall& t : g.texts) {
    EXPECT_EQ(t.Size, 20);
    EXPECT_EQ(t.Color, 0x008000u);
  }
  EXPECT_EQ(g.Typing().NameTextWidth, width);
  // The green really lands on the frame.
  int green = 0;
  for (int x = 300; x < 500; ++x)
    for (int y = 225; y < 260; ++y) green += (g.plat.Record().Front[y * 800 + x] & 0xFFFFFF) == 0x008000;
  EXPECT_GT(green, 10);
  // Before the panel opens nothing is written.
  OnlineGame quiet;
  quiet.Start();
  quiet.GameOver(12345, false);
  quiet.texts.clear();
  quiet.Frames(3);
  EXPECT_TRUE(quiet.texts.empty());
}

}  // namespace
}  // namespace tk::testing
