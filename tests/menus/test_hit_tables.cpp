// Every hover and click rectangle of the menu screens and dialogs, probed at its edges: the
// corners inside light or act, one pixel beyond each side does not.
#include <functional>
#include <tuple>

#include "MenuFixture.h"
#include "menus/Screens.h"

namespace tk::testing {
namespace {

using platform::Cursor;
using platform::MouseButton;

struct Rect {
  int X1, X2, Y1, Y2;
};

struct Probe {
  int X, Y;
  bool Inside;
};

std::vector<Probe> EdgeProbes(const Rect& r) {
  const int xm = (r.X1 + r.X2) / 2, ym = (r.Y1 + r.Y2) / 2;
  return {{r.X1, r.Y1, true},      {r.X2, r.Y2, true},      {r.X1, r.Y2, true},
          {r.X2, r.Y1, true},      {r.X1 - 1, ym, false},   {r.X2 + 1, ym, false},
          {xm, r.Y1 - 1, false},   {xm, r.Y2 + 1, false}};
}

using Setup = std::function<void(MenuGame&)>;

const Setup MainMenu = [](MenuGame& g) { g.Go(SceneMainMenu); };
const Setup MainMenuPrompt = [](MenuGame& g) {
  g.Go(SceneMainMenu);
  g.Key(platform::vk::Esc);
};
const Setup PondPrompt = [](MenuGame& g) {
  g.Go(ScenePond);
  g.F().Hooks.GameMainExitClick();
};
const Setup FeedingPrompt = [](MenuGame& g) {
  g.Go(SceneFeeding);
  g.F().Hooks.GameMainExitClick();
};
const Setup HelpPage1 = [](MenuGame& g) { g.Go(SceneHelp); };
const Setup HelpPage3 = [](MenuGame& g) {
  g.Menus().HelpPage = 3;
  g.Go(SceneHelp);
};
const Setup HighScores = [](MenuGame& g) { g.Go(SceneHighScores); };
const Setup ClearDialog = [](MenuGame& g) {
  g.Go(SceneHighScores);
  menus::GameClearHighScoreClick(g.F());
};
// Every pair on its first half, so each second half acts, and the other way round.
const Setup OptionsAllOn = [](MenuGame& g) {
  g.Go(SceneOptions);
  g.F().GameFullScreenClick();
  g.F().GameMusic = g.F().GameSound = true;
};
const Setup OptionsAllOff = [](MenuGame& g) {
  g.Go(SceneOptions);
  g.F().GameMusic = g.F().GameSound = false;
};

struct HoverCase {
  const char* Name;
  const Setup* Enter;
  Rect R;
  const char* Highlight;
};

const HoverCase HoverCases[] = {
    {"start game", &MainMenu, {361, 726, 166, 202}, "Start_Game"},
    {"options", &MainMenu, {464, 627, 242, 279}, "Options"},
    {"high score", &MainMenu, {431, 657, 316, 352}, "High_Score"},
    {"help", &MainMenu, {444, 650, 393, 430}, "Help"},
    {"visit web site", &MainMenu, {344, 747, 460, 495}, "Visit_Web_Site"},
    {"exit", &MainMenu, {460, 630, 533, 571}, "Exit_"},
    {"publisher", &MainMenu, {5, 230, 527, 596}, "Orchardia"},
    {"menu prompt yes", &MainMenuPrompt, {312, 360, 313, 337}, "TMainExit_Yes"},
    {"menu prompt no", &MainMenuPrompt, {432, 498, 313, 337}, "TMainExit_No"},
    {"menu prompt publisher", &MainMenuPrompt, {5, 230, 527, 596}, "Orchardia"},
    {"pond prompt yes", &PondPrompt, {312, 360, 312, 337}, "TMainExit_Yes"},
    {"pond prompt no", &PondPrompt, {432, 498, 312, 337}, "TMainExit_No"},
    {"feeding prompt yes", &FeedingPrompt, {300, 370, 310, 335}, "TMainExit_Yes"},
    {"feeding prompt no", &FeedingPrompt, {441, 490, 312, 338}, "TMainExit_No"},
    {"help back", &HelpPage1, {375, 513, 525, 562}, "HelpGame_Back"},
    {"help next", &HelpPage1, {581, 747, 513, 531}, "HelpGame_Down"},
    {"help previous", &HelpPage1, {572, 754, 554, 573}, "HelpGame_Up"},
    {"options back", &OptionsAllOff, {375, 513, 525, 562}, "HelpGame_Back"},
    {"scores clear", &HighScores, {29, 166, 215, 260}, "HighScore_Clear"},
    {"scores view", &HighScores, {28, 170, 316, 382}, "HighScore_View"},
    {"scores back", &HighScores, {29, 169, 447, 474}, "HighScore_Back"},
    {"clear dialog yes", &ClearDialog, {312, 360, 312, 337}, "TMainExit_Yes"},
    {"clear dialog no", &ClearDialog, {432, 498, 313, 337}, "TMainExit_No"},
};

TEST(HitTables, EveryHighlightCoversExactlyItsRectangle) {
  for (const HoverCase& c : HoverCases) {
    MenuGame g;
    (*c.Enter)(g);
    for (const Probe& p : EdgeProbes(c.R)) {
      g.Move(p.X, p.Y);
      EXPECT_EQ(g.Count(c.Highlight), p.Inside ? 1 : 0) << c.Name << " at " << p.X << "," << p.Y;
      EXPECT_EQ(g.Pointer(), p.Inside ? Cursor::Hand : Cursor::Arrow)
          << c.Name << " at " << p.X << "," << p.Y;
    }
  }
}

struct ClickCase {
  const char* Name;
  const Setup* Enter;
  Rect R;
};

const ClickCase ClickCases[] = {
    {"start game", &MainMenu, {361, 726, 166, 202}},
    {"options", &MainMenu, {464, 627, 242, 279}},
    {"high score", &MainMenu, {431, 657, 316, 352}},
    {"help", &MainMenu, {444, 650, 393, 430}},
    {"visit web site", &MainMenu, {344, 747, 460, 495}},
    {"exit", &MainMenu, {459, 632, 533, 570}},
    {"publisher", &MainMenu, {5, 230, 527, 596}},
    {"menu prompt yes", &MainMenuPrompt, {312, 360, 312, 337}},
    {"menu prompt no", &MainMenuPrompt, {432, 498, 313, 337}},
    {"pond prompt yes", &PondPrompt, {300, 370, 310, 335}},
    {"pond prompt no", &PondPrompt, {441, 490, 312, 338}},
    {"feeding prompt yes", &FeedingPrompt, {300, 370, 310, 335}},
    {"feeding prompt no", &FeedingPrompt, {441, 490, 312, 338}},
    {"help back", &HelpPage1, {375, 513, 525, 562}},
    {"help next", &HelpPage1, {613, 709, 509, 535}},
    {"help previous", &HelpPage3, {578, 749, 552, 577}},
    {"window mode", &OptionsAllOn, {274, 421, 218, 248}},
    {"full screen", &OptionsAllOff, {466, 782, 218, 248}},
    {"music on", &OptionsAllOff, {257, 334, 280, 310}},
    {"music off", &OptionsAllOn, {349, 455, 280, 310}},
    {"sound on", &OptionsAllOff, {256, 332, 338, 370}},
    {"sound off", &OptionsAllOn, {348, 456, 338, 370}},
    {"country", &OptionsAllOn, {400, 775, 400, 445}},
    {"options back", &OptionsAllOn, {375, 513, 525, 562}},
    {"scores clear", &HighScores, {29, 166, 215, 260}},
    {"scores view", &HighScores, {28, 170, 316, 382}},
    {"scores back", &HighScores, {29, 169, 447, 474}},
    {"clear dialog yes", &ClearDialog, {312, 360, 312, 337}},
    {"clear dialog no", &ClearDialog, {432, 498, 313, 337}},
};

TEST(HitTables, EveryClickActsExactlyInsideItsRectangle) {
  for (const ClickCase& c : ClickCases) {
    for (const Probe& p : EdgeProbes(c.R)) {
      MenuGame g;
      (*c.Enter)(g);
      g.Sounds();
      auto choices = [&] {
        return std::tuple(g.F().GameFullScreen, g.F().GameMusic, g.F().GameSound);
      };
      const auto before = choices();
      g.Click(p.X, p.Y);
      // Every action clicks; with sound off an option's toggle shows in its flag instead.
      const bool acted = CountOf(g.Sounds(), "button_down") == 1 || choices() != before;
      EXPECT_EQ(acted, p.Inside) << c.Name << " at " << p.X << "," << p.Y;
    }
  }
}

TEST(HitTables, OptionRowsChangeOnlyThePointer) {
  struct Case {
    int X, Y;
    Cursor Expected;
  };
  const Case cases[] = {
      {274, 218, Cursor::Hand},  {421, 248, Cursor::Hand},  {273, 230, Cursor::Arrow},
      {422, 230, Cursor::Arrow}, {466, 218, Cursor::Hand},  {782, 248, Cursor::Hand},
      {300, 217, Cursor::Arrow}, {300, 249, Cursor::Arrow}, {257, 278, Cursor::Hand},
      {455, 310, Cursor::Hand},  {300, 277, Cursor::Arrow}, {335, 290, Cursor::Arrow},
      {256, 339, Cursor::Hand},  {456, 370, Cursor::Hand},  {300, 338, Cursor::Arrow},
      {400, 400, Cursor::IBeam}, {775, 445, Cursor::IBeam}, {399, 420, Cursor::Arrow},
      {500, 446, Cursor::Arrow},
  };
  MenuGame g;
  g.Go(SceneOptions);
  for (const Case& c : cases) {
    g.Move(c.X, c.Y);
    EXPECT_EQ(g.Pointer(), c.Expected) << c.X << "," << c.Y;
    EXPECT_EQ(g.Count("HelpGame_Back"), 0);
  }
}

TEST(HitTables, GameOverShowsTheTextPointerOverTheNameField) {
  MenuGame g;
  g.Go(SceneGameOver);
  const struct {
    int X, Y;
    Cursor Expected;
  } cases[] = {{250, 315, Cursor::IBeam}, {550, 348, Cursor::IBeam}, {249, 330, Cursor::Arrow},
               {551, 330, Cursor::Arrow}, {400, 314, Cursor::Arrow}, {400, 349, Cursor::Arrow}};
  for (auto& c : cases) {
    g.Move(c.X, c.Y);
    EXPECT_EQ(g.Pointer(), c.Expected) << c.X << "," << c.Y;
  }
}

TEST(HitTables, PlayScenesHideThePointerUntilThePromptOpens) {
  for (uint8_t scene : {ScenePond, SceneFeeding}) {
    MenuGame g;
    g.Go(scene);
    g.Move(330, 320);
    EXPECT_EQ(g.Pointer(), Cursor::Hidden);
    EXPECT_EQ(g.Count("TMainExit_Yes"), 0);
    g.F().Hooks.GameMainExitClick();
    g.Move(330, 320);
    EXPECT_EQ(g.Pointer(), Cursor::Hand);
    EXPECT_EQ(g.Count("TMainExit_Yes"), 1);
  }
}

TEST(HitTables, MenusIgnoreOtherButtonsButThePlayPromptTakesAny) {
  for (MouseButton b : {MouseButton::Right, MouseButton::Middle}) {
    MenuGame g;
    g.Go(SceneMainMenu);
    g.Click(500, 180, b);
    EXPECT_EQ(g.F().CurrentScene, SceneMainMenu);
    g.Go(SceneHighScores);
    g.Click(100, 460, b);
    EXPECT_EQ(g.F().CurrentScene, SceneHighScores);
    g.Go(ScenePond);
    g.F().Hooks.GameMainExitClick();
    g.Click(460, 320, b);
    EXPECT_FALSE(g.F().GameMainExit) << "No answered with another button";
  }
}

TEST(HitTables, AClickIsTestedWhereThePointerLastMoved) {
  MenuGame g;
  g.Go(SceneMainMenu);
  g.Move(500, 180);  // over Start Game
  g.F().OnMouseDown(MouseButton::Left, 10, 10);
  EXPECT_EQ(g.F().CurrentScene, ScenePond);
  // The click that opened the options screen left the pointer over Start Game's place;
  // without a move the next click is tested there, where the options screen has nothing.
  MenuGame h;
  h.Go(SceneMainMenu);
  h.Click(500, 260);
  ASSERT_EQ(h.F().CurrentScene, SceneOptions);
  h.F().OnMouseDown(MouseButton::Left, 450, 540);  // where Back is, but not moved there
  EXPECT_EQ(h.F().CurrentScene, SceneOptions);
  h.Move(450, 540);
  h.F().OnMouseDown(MouseButton::Left, 0, 0);
  EXPECT_EQ(h.F().CurrentScene, SceneMainMenu);
}

}  // namespace
}  // namespace tk::testing
