// The exit prompt and the clear dialog: opening and closing, and what Yes and No do in each
// scene.
#include <iterator>

#include "MenuFixture.h"
#include "game/FeedingState.h"
#include "persist/Settings.h"

namespace tk::testing {
namespace {

using platform::Cursor;
namespace vk = platform::vk;

TEST(ExitPrompt, EscOnTheMainMenuTogglesItWithCaptionPointerAndSounds) {
  MenuGame g;
  g.Go(SceneMainMenu);
  g.Sounds();
  const bool levelTimer = g.F().LevelTimer.Enabled();
  g.F().LevelTitleShown = true;
  g.Key(vk::Esc);
  EXPECT_TRUE(g.F().GameMainExit);
  EXPECT_EQ(g.F().Caption(), Cp("Тиноквак [Пауза]"));
  EXPECT_EQ(g.Pointer(), Cursor::Hand);
  EXPECT_EQ(g.Heard(), std::vector<std::string>{"pause"});
  EXPECT_NE(g.F().LevelTimer.Enabled(), levelTimer);
  EXPECT_FALSE(g.F().LevelTitleShown);
  EXPECT_EQ(g.Count("TMainExit"), 1);
  EXPECT_EQ(g.Count("TMainExit_Word"), 1);
  g.Move(330, 320);
  EXPECT_EQ(g.Count("TMainExit_Yes"), 1);
  g.Key(vk::Esc);
  EXPECT_FALSE(g.F().GameMainExit);
  EXPECT_EQ(g.F().Caption(), Cp("Тиноквак"));
  EXPECT_EQ(g.Pointer(), Cursor::Hidden);
  EXPECT_EQ(g.Heard(), std::vector<std::string>{"after_pause"});
  EXPECT_EQ(g.F().LevelTimer.Enabled(), levelTimer);
  for (const char* cls : {"TMainExit", "TMainExit_Word", "TMainExit_Yes"})
    EXPECT_EQ(g.Count(cls), 0) << cls;
}

TEST(ExitPrompt, ThePanelIsCentredOnHalfPixels) {
  MenuGame g;
  g.Go(SceneMainMenu);
  g.Key(vk::Esc);
  for (int i = 0; i < g.F().Engine().ChildCount(); ++i) {
    TSprite* s = g.F().Engine().Children(i);
    if (std::string_view(s->ClassName()) == "TMainExit") {
      EXPECT_DOUBLE_EQ(s->X, 209.5);  // (800 - 381) / 2
      EXPECT_DOUBLE_EQ(s->Y, 194.5);  // (600 - 201) / 2 - 5
      EXPECT_EQ(s->Z(), 801);
      EXPECT_EQ(s->Width, 381);
    } else if (std::string_view(s->ClassName()) == "TMainExit_Word") {
      EXPECT_EQ(s->X, 288);
      EXPECT_EQ(s->Y, 248);
      EXPECT_EQ(s->Z(), 802);
    }
  }
}

TEST(ExitPrompt, WhileOpenTheMenuIsDeadButThePublisherStillLights) {
  MenuGame g;
  g.Go(SceneMainMenu);
  g.Key(vk::Esc);
  g.Sounds();
  g.Move(500, 180);
  EXPECT_EQ(g.Count("Start_Game"), 0);
  EXPECT_EQ(g.Pointer(), Cursor::Arrow);
  g.Click(500, 180);
  g.Key(vk::Enter);
  EXPECT_EQ(g.F().CurrentScene, SceneMainMenu);
  g.Move(100, 560);
  EXPECT_EQ(g.Count("Orchardia"), 1);
  g.dir.Write("website.url", "[InternetShortcut]\n");
  g.Click(100, 560);
  EXPECT_TRUE(g.plat.Record().Opened.empty());
  EXPECT_EQ(CountOf(g.Sounds(), "button_down"), 0);
  EXPECT_TRUE(g.F().GameMainExit);
}

TEST(ExitPrompt, TheExitButtonOpensIt) {
  MenuGame g;
  g.Go(SceneMainMenu);
  g.Sounds();
  g.Click(540, 550);
  EXPECT_TRUE(g.F().GameMainExit);
  EXPECT_EQ(g.Heard(), (std::vector<std::string>{"pause", "button_down"}));
}

TEST(ExitPrompt, YesOnTheMainMenuGoesToTheExitScreen) {
  MenuGame g;
  g.Go(SceneMainMenu);
  g.Key(vk::Esc);
  g.Sounds();
  g.Click(330, 325);
  EXPECT_EQ(g.F().CurrentScene, SceneExitScreen);
  EXPECT_FALSE(g.F().GameMainExit);
  EXPECT_EQ(g.F().Caption(), Cp("Тиноквак"));
  EXPECT_EQ(g.Heard(), (std::vector<std::string>{"button_down", "after_pause"}));
}

TEST(ExitPrompt, NoOnTheMainMenuRebuildsIt) {
  MenuGame g;
  g.Go(SceneMainMenu);
  g.Key(vk::Esc);
  g.Sounds();
  g.Click(460, 325);
  EXPECT_EQ(g.F().CurrentScene, SceneMainMenu);
  EXPECT_FALSE(g.F().GameMainExit);
  EXPECT_EQ(g.Pointer(), Cursor::Arrow) << "the rebuilt menu shows the arrow again";
  EXPECT_EQ(g.Heard(), (std::vector<std::string>{"button_down", "after_pause"}));
  g.Frames(1);
  EXPECT_EQ(g.Count("TMainExit"), 0);
  g.Click(500, 180);
  EXPECT_EQ(g.F().CurrentScene, ScenePond);
}

TEST(ExitPrompt, YesInPlayEndsInGameOverOnlyAboveTheTenthRow) {
  const struct {
    uint8_t Scene;
    int32_t Score;
    uint8_t Expected;
  } cases[] = {{ScenePond, 150, SceneGameOver},    {ScenePond, 100, SceneMainMenu},
               {ScenePond, 0, SceneMainMenu},      {SceneFeeding, 150, SceneGameOver},
               {SceneFeeding, 100, SceneMainMenu}, {SceneFeeding, 101, SceneGameOver}};
  for (auto& c : cases) {
    MenuGame g;
    g.Go(c.Scene);
    g.F().HighScores[9].Score = 100;
    g.F().Score = c.Score;
    g.Key(vk::Esc);
    ASSERT_TRUE(g.F().GameMainExit);
    g.Sounds();
    g.Click(330, 320);
    EXPECT_EQ(g.F().CurrentScene, c.Expected) << SceneName(c.Scene) << " score " << c.Score;
    EXPECT_FALSE(g.F().GameMainExit);
    EXPECT_EQ(g.Heard(), (std::vector<std::string>{"after_pause", "button_down"}));
  }
}

TEST(ExitPrompt, YesInThePondAnswersWhereNothingLights) {
  MenuGame g;
  g.Go(ScenePond);
  g.F().Score = 150;
  g.F().HighScores[9].Score = 100;
  g.Key(vk::Esc);
  g.Move(305, 320);
  EXPECT_EQ(g.Count("TMainExit_Yes"), 0);
  g.Click(305, 320);
  EXPECT_EQ(g.F().CurrentScene, SceneGameOver);
}

TEST(ExitPrompt, NoInPlayClosesItAndPlayGoesOn) {
  MenuGame g;
  g.Go(SceneFeeding);
  g.F().LevelTimer.SetEnabled(true);
  g.Key(vk::Esc);
  EXPECT_FALSE(g.F().LevelTimer.Enabled()) << "the stage clock stands still";
  EXPECT_EQ(g.Pointer(), Cursor::Hand);
  g.Move(460, 320);
  g.F().OnMouseDown(platform::MouseButton::Left, 460, 320);
  EXPECT_TRUE(g.F().FireHeld) << "a click in the feeding stage is also the fire button";
  EXPECT_EQ(g.F().CurrentScene, SceneFeeding);
  EXPECT_FALSE(g.F().GameMainExit);
  EXPECT_TRUE(g.F().LevelTimer.Enabled());
  EXPECT_EQ(g.Pointer(), Cursor::Hidden);
}

TEST(ExitPrompt, PauseBlocksItAndOtherScenesIgnoreIt) {
  MenuGame g;
  g.Go(ScenePond);
  g.Key('P');
  ASSERT_TRUE(g.F().Paused);
  g.Key(vk::Esc);
  g.F().Hooks.GameMainExitClick();
  EXPECT_FALSE(g.F().GameMainExit);
  g.Key('P');
  g.Key(vk::Esc);
  EXPECT_TRUE(g.F().GameMainExit);
  for (uint8_t scene : {SceneHelp, SceneOptions, SceneHighScores, SceneGameOver}) {
    MenuGame h;
    h.Go(scene);
    h.F().Hooks.GameMainExitClick();
    EXPECT_FALSE(h.F().GameMainExit) << SceneName(scene);
    EXPECT_EQ(h.Count("TMainExit"), 0);
  }
}

TEST(ExitPrompt, TheCloseButtonEndsThePauseAndOpensIt) {
  MenuGame g;
  g.Go(ScenePond);
  g.Key('P');
  g.F().OnCloseRequest();
  EXPECT_FALSE(g.F().Closed());
  EXPECT_FALSE(g.F().Paused);
  EXPECT_TRUE(g.F().GameMainExit);
}

TEST(ClearDialog, YesResetsTheTableAndClosesOverTheRebuiltScreen) {
  MenuGame g;
  int resets = 0;
  g.F().Hooks.ResetHighScores = [&] {
    ++resets;
    for (auto& r : g.F().HighScores) r = {"default", 1};
    g.F().SwitchScene(SceneHighScores);
  };
  g.Go(SceneHighScores);
  g.F().HighScores[0] = {"best", 9999};
  g.Click(100, 240);
  g.Sounds();
  g.Click(330, 325);
  EXPECT_EQ(resets, 1);
  EXPECT_EQ(g.F().HighScores[0].Name, "default");
  EXPECT_FALSE(g.F().GameClearHighScore);
  EXPECT_EQ(g.F().CurrentScene, SceneHighScores);
  EXPECT_EQ(g.Heard(), std::vector<std::string>{"button_down"});
  g.Frames(1);
  EXPECT_EQ(g.Count("TClearHighScore"), 0);
  EXPECT_EQ(g.FrameTexts().size(), 20u);
}

TEST(ClearDialog, YesSavesTheDefaultTableAtOnce) {
  MenuGame g;
  g.Go(SceneHighScores);
  g.F().HighScores[0] = {"best", 9999};
  auto fileTable = [&] {
    std::ifstream in(g.dir.Path() / "Config.cfg", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    TSettings s;
    std::string error;
    EXPECT_TRUE(ReadSettings(bytes, s, error)) << error;
    return s.HighScores;
  };
  g.Go(SceneHighScores);  // leaving the screen saves the table
  ASSERT_EQ(fileTable()[0].Score, 9999);
  g.Click(100, 240);
  g.Click(330, 325);
  EXPECT_EQ(g.F().HighScores[0].Name, Cp("Ваня"));
  EXPECT_EQ(g.F().HighScores[0].Score, 3000);
  EXPECT_EQ(g.F().HighScores[9].Score, 100);
  EXPECT_EQ(fileTable(), DefaultHighScores());
  EXPECT_FALSE(g.F().GameClearHighScore);
  EXPECT_EQ(g.F().CurrentScene, SceneHighScores);
}

TEST(ClearDialog, NoLeavesTheTableAlone) {
  MenuGame g;
  g.Go(SceneHighScores);
  g.F().HighScores[0] = {"best", 9999};
  g.Click(100, 240);
  g.Click(460, 325);
  EXPECT_EQ(g.F().HighScores[0].Score, 9999);
  EXPECT_FALSE(g.F().GameClearHighScore);
}

TEST(SceneDispatch, TheFirstMoveInTheFeedingStageFreesTheAim) {
  MenuGame g;
  g.Go(SceneFeeding);
  auto& feeding = g.F().Module<game::TFeedingState>();
  feeding.AimCentred = true;
  g.Move(700, 300);
  EXPECT_FALSE(feeding.AimCentred);
  EXPECT_EQ(g.F().MouseX, 700);
  EXPECT_EQ(g.Pointer(), Cursor::Hidden);
}

}  // namespace
}  // namespace tk::testing
