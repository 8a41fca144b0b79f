// The menu screens in the scripted runner with the real archives: every screen reached and
// left, every button lit, the options toggled, the table cleared, the exit prompt answered.
#include "SimRun.h"

namespace tk::e2e {
namespace {

// The splash gives way to the main menu after four seconds.
const std::string ToMainMenu = "wait 4100\n";

int Sprites(const nlohmann::json& state, const std::string& cls) {
  return state["sprites"].value(cls, 0);
}

bool Has(const nlohmann::json& list, const std::string& v) {
  for (auto& x : list)
    if (x == v) return true;
  return false;
}

// Pixels that differ between two shots inside a rectangle.
int Changed(const Png& a, const Png& b, int x1, int x2, int y1, int y2) {
  int n = 0;
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) n += a.At(x, y) != b.At(x, y);
  return n;
}

TEST(Menus, EveryScreenOpensFromTheMainMenuAndLeadsBack) {
  SimResult r = RunSim(ToMainMenu +
                       "state\n"
                       "click 500 260\nticks 2\nstate\nkey Esc\nticks 1\nstate\n"
                       "click 500 330\nticks 2\nstate\nclick 100 460\nticks 1\nstate\n"
                       "click 500 410\nticks 2\nstate\nclick 650 520\nticks 1\nstate\n"
                       "click 440 540\nticks 1\nstate\n");
  ASSERT_EQ(r.Status, 0) << r.Output;
  ASSERT_EQ(r.States.size(), 8u);
  const char* expected[] = {"SceneMainMenu",   "SceneOptions",  "SceneMainMenu",
                            "SceneHighScores", "SceneMainMenu", "SceneHelp",
                            "SceneHelp",       "SceneMainMenu"};
  for (size_t i = 0; i < 8; ++i) EXPECT_EQ(r.States[i]["scene"], expected[i]) << i;
  EXPECT_EQ(r.States[5]["helpPage"], 1);
  EXPECT_EQ(r.States[6]["helpPage"], 2);
  EXPECT_EQ(r.States[7]["helpPage"], 1);
  // Every click clicks; Esc is silent.
  for (size_t i = 1; i < r.States.size(); ++i)
    EXPECT_EQ(Has(r.States[i]["sounds"], "button_down"), i != 2) << i;
  EXPECT_EQ(r.States[0]["music"], "1");
}

struct LitButton {
  int X, Y;
  const char* Highlight;
  int X1, X2, Y1, Y2;  // the rectangle the lit picture must change
};

// Moves over each button in turn on one screen and checks that it lights, visibly.
void CheckLights(const std::string& enter, const std::vector<LitButton>& buttons,
                 const std::string& name) {
  std::string script = ToMainMenu + enter + "move 5 5\nticks 2\nshot " +
                       TempFile(name + "-0.png").string() + "\n";
  for (size_t i = 0; i < buttons.size(); ++i) {
    // Through empty background first, which re-arms the hover sound.
    script += "move 5 5\nmove " + std::to_string(buttons[i].X) + " " + std::to_string(buttons[i].Y) +
              "\nticks 2\nstate\nshot " + TempFile(name + "-" + std::to_string(i + 1) + ".png").string() +
              "\n";
  }
  SimResult r = RunSim(script);
  ASSERT_EQ(r.Status, 0) << r.Output;
  ASSERT_EQ(r.States.size(), buttons.size());
  Png normal(TempFile(name + "-0.png"));
  ASSERT_TRUE(normal.Ok());
  for (size_t i = 0; i < buttons.size(); ++i) {
    const LitButton& b = buttons[i];
    const auto& s = r.States[i];
    EXPECT_EQ(Sprites(s, b.Highlight), 1) << name << " " << b.Highlight;
    EXPECT_EQ(s["cursor"], "hand") << name << " " << b.Highlight;
    EXPECT_TRUE(Has(s["sounds"], "button_up")) << name << " " << b.Highlight;
    const auto file = TempFile(name + "-" + std::to_string(i + 1) + ".png");
    Png lit(file);
    ASSERT_TRUE(lit.Ok());
    const int area = (b.X2 - b.X1 + 1) * (b.Y2 - b.Y1 + 1);
    EXPECT_GT(Changed(normal, lit, b.X1, b.X2, b.Y1, b.Y2), area / 10)
        << name << " " << b.Highlight << " does not show";
    std::filesystem::remove(file);
  }
  std::filesystem::remove(TempFile(name + "-0.png"));
}

TEST(Menus, MainMenuButtonsLight) {
  CheckLights("", {{500, 180, "Start_Game", 361, 726, 166, 202},
                   {500, 260, "Options", 464, 627, 242, 279},
                   {500, 330, "High_Score", 431, 657, 316, 352},
                   {500, 410, "Help", 444, 650, 393, 430},
                   {500, 475, "Visit_Web_Site", 344, 747, 460, 495},
                   {540, 550, "Exit_", 460, 630, 533, 571},
                   {100, 560, "Orchardia", 5, 230, 527, 596}},
              "main");
}

TEST(Menus, HelpOptionsAndHighScoreButtonsLight) {
  CheckLights("click 500 410\n", {{440, 540, "HelpGame_Back", 375, 513, 525, 562},
                                   {650, 520, "HelpGame_Down", 581, 747, 513, 531},
                                   {650, 560, "HelpGame_Up", 572, 754, 554, 573}},
              "help");
  CheckLights("click 500 260\n", {{440, 540, "HelpGame_Back", 375, 513, 525, 562}}, "options");
  CheckLights("click 500 330\n", {{100, 240, "HighScore_Clear", 29, 166, 215, 260},
                                   {100, 350, "HighScore_View", 28, 170, 316, 382},
                                   {100, 460, "HighScore_Back", 29, 169, 447, 474}},
              "scores");
  CheckLights("key Esc\n", {{330, 325, "TMainExit_Yes", 312, 360, 313, 337},
                            {460, 325, "TMainExit_No", 432, 498, 313, 337}},
              "prompt");
}

TEST(Menus, OptionsToggleAndTheCountryIsTyped) {
  SimResult r = RunSim(ToMainMenu +
                       "click 500 260\nticks 2\nstate\n"
                       "click 400 300\nstate\nclick 300 290\nstate\n"
                       "click 400 350\nstate\nclick 300 350\nstate\n"
                       "click 600 230\nstate\nclick 300 230\nstate\n"
                       "click 500 420\ntype Россия!\nkey Backspace\nticks 2\nstate\n"
                       "key Esc\nstate\n");
  ASSERT_EQ(r.Status, 0) << r.Output;
  ASSERT_EQ(r.States.size(), 9u);
  const auto& s = r.States;
  EXPECT_TRUE(s[0]["flags"]["GamegoEdit"]) << "an empty country takes the typing";
  EXPECT_FALSE(s[1]["flags"]["GameMusic"]);
  EXPECT_TRUE(s[1]["music"].is_null());
  EXPECT_TRUE(s[2]["flags"]["GameMusic"]);
  EXPECT_EQ(s[2]["music"], "1");
  EXPECT_TRUE(Has(s[2]["sounds"], "button_down"));
  EXPECT_FALSE(s[3]["flags"]["GameSound"]);
  EXPECT_FALSE(Has(s[3]["sounds"], "button_down")) << "sound is off before the click sounds";
  EXPECT_TRUE(s[4]["flags"]["GameSound"]);
  EXPECT_TRUE(Has(s[4]["sounds"], "button_down"));
  EXPECT_TRUE(s[5]["flags"]["GameFullScreen"]);
  EXPECT_TRUE(s[5]["fullScreen"]);
  EXPECT_FALSE(s[6]["flags"]["GameFullScreen"]);
  EXPECT_FALSE(s[6]["fullScreen"]);
  EXPECT_EQ(s[7]["playerCountry"], "Росси");
  EXPECT_EQ(s[7]["sprites"].value("Options_window_mode", 0), 1);
  EXPECT_EQ(s[7]["sprites"].value("Options_music_on", 0), 1);
  EXPECT_EQ(s[7]["sprites"].value("Options_sound_on", 0), 1);
  EXPECT_EQ(s[8]["scene"], "SceneMainMenu");
}

TEST(Menus, TheClearDialogOpensAndClosesOverTheTable) {
  SimResult r = RunSim(ToMainMenu +
                       "click 500 330\nticks 2\n"
                       "click 100 240\nticks 2\nstate\n"
                       "click 330 325\nticks 2\nstate\n"
                       "click 100 240\nclick 460 325\nticks 2\nstate\n");
  ASSERT_EQ(r.Status, 0) << r.Output;
  ASSERT_EQ(r.States.size(), 3u);
  EXPECT_TRUE(r.States[0]["flags"]["GameClearHighScore"]);
  EXPECT_EQ(Sprites(r.States[0], "TClearHighScore"), 1);
  EXPECT_EQ(Sprites(r.States[0], "TClearHighScore_Word"), 1);
  for (size_t i = 1; i < 3; ++i) {
    EXPECT_EQ(r.States[i]["scene"], "SceneHighScores");
    EXPECT_FALSE(r.States[i]["flags"]["GameClearHighScore"]);
    EXPECT_EQ(Sprites(r.States[i], "TClearHighScore"), 0);
  }
  // The table shows the default rows afterwards.
  const auto& rows = r.States[1]["highScores"];
  ASSERT_EQ(rows.size(), 10u);
  EXPECT_EQ(rows[0]["name"], "Ваня");
  EXPECT_EQ(rows[0]["score"], 3000);
  EXPECT_EQ(rows[9]["score"], 100);
}

TEST(Menus, TheExitPromptAnswersNoThenYes) {
  SimResult r = RunSim(ToMainMenu +
                       "key Esc\nstate\n"
                       "click 460 325\nticks 1\nstate\n"
                       "key Esc\nclick 330 325\nstate\n");
  ASSERT_EQ(r.Status, 0) << r.Output;
  ASSERT_EQ(r.States.size(), 3u);
  EXPECT_TRUE(r.States[0]["flags"]["GameMainExit"]);
  EXPECT_EQ(r.States[0]["caption"], "Тиноквак [Пауза]");
  EXPECT_TRUE(Has(r.States[0]["sounds"], "pause"));
  EXPECT_EQ(Sprites(r.States[0], "TMainExit"), 1);
  EXPECT_EQ(Sprites(r.States[0], "TMainExit_Word"), 1);
  EXPECT_EQ(r.States[1]["scene"], "SceneMainMenu");
  EXPECT_FALSE(r.States[1]["flags"]["GameMainExit"]);
  EXPECT_EQ(r.States[1]["caption"], "Тиноквак");
  EXPECT_EQ(Sprites(r.States[1], "TMainExit"), 0);
  EXPECT_EQ(r.States[2]["scene"], "SceneExitScreen");
  EXPECT_FALSE(r.States[2]["flags"]["GameMainExit"]);
}

}  // namespace
}  // namespace tk::e2e
