// The hover sound plays once per entry into a target, never again while the pointer moves
// inside it.
#include "MenuFixture.h"

namespace tk::testing {
namespace {

struct Step {
  int X, Y;
  int Ticks;  // "button_up" sounds expected from this move
};

void Walk(MenuGame& g, const std::vector<Step>& steps, const char* what) {
  g.Sounds();
  for (size_t i = 0; i < steps.size(); ++i) {
    g.Move(steps[i].X, steps[i].Y);
    EXPECT_EQ(CountOf(g.Sounds(), "button_up"), steps[i].Ticks) << what << ", move " << i;
  }
}

TEST(HoverSound, OncePerEntryIntoAMainMenuButton) {
  MenuGame g;
  g.Go(SceneMainMenu);
  g.Move(10, 300);  // arms the latch on empty background
  Walk(g,
       {{400, 180, 1}, {500, 190, 0}, {700, 170, 0},  // inside Start Game
        {500, 300, 0},                                 // between two rows
        {500, 180, 1},                                 // back in
        {500, 260, 0}},                                // straight into Options: no re-arm
       "main menu");
  // Nothing lit between the Options and High Score rows, and the latch re-arms there.
  g.Move(500, 300);
  EXPECT_EQ(g.Count("Options") + g.Count("High_Score"), 0);
  g.Move(500, 330);
  EXPECT_EQ(CountOf(g.Sounds(), "button_up"), 1);
}

TEST(HoverSound, HelpBackAndTheArrowsKeepLatchesOfTheirOwn) {
  MenuGame g;
  g.Go(SceneHelp);
  g.Move(10, 300);
  // Back arms the arrows' latch and an arrow arms Back's, so every entry sounds; from one
  // arrow straight to the other shares one latch and stays silent.
  Walk(g, {{440, 540, 1}, {450, 545, 0}, {650, 520, 1}, {440, 540, 1}, {650, 560, 1},
           {650, 520, 0}},
       "help");
}

TEST(HoverSound, OptionRowsNeitherSoundNorReArm) {
  MenuGame g;
  g.Go(SceneOptions);
  g.Move(10, 100);
  Walk(g, {{440, 540, 1},  // Back
           {300, 230, 0},  // a choice: hand pointer, no sound, latch stays clear
           {440, 540, 0},  // so Back is silent this time
           {600, 540, 0},  // Back's row, beside the button: re-arms
           {440, 540, 1}},
       "options");
}

TEST(HoverSound, SilentWithSoundOffButTheLatchStillCloses) {
  MenuGame g;
  g.Go(SceneMainMenu);
  g.F().GameSound = false;
  g.Move(10, 300);
  g.Move(400, 180);
  EXPECT_EQ(CountOf(g.Sounds(), "button_up"), 0);
  EXPECT_FALSE(g.Menus().HoverSoundArmed);
  EXPECT_EQ(g.Count("Start_Game"), 1);
}

TEST(HoverSound, OnlyTheLastHighlightOfSeveralMovesSurvivesToTheDraw) {
  MenuGame g;
  g.Go(SceneMainMenu);
  g.Move(400, 180);
  g.Move(500, 180);
  g.Move(500, 260);
  EXPECT_EQ(g.Count("Start_Game"), 0);
  EXPECT_EQ(g.Count("Options"), 1);
  g.Frames(1);
  EXPECT_EQ(g.F().Engine().ChildCount(), 9 + 1) << "eight pictures, the background, one light";
  EXPECT_EQ(g.Shown(420, 220), ColourOf("Options_d"));
}

}  // namespace
}  // namespace tk::testing
