// Config.cfg on the main window: read once at start-up, written on the way to the logo and
// whenever the options, high-score or game-over screens are left; a file that fails is
// told once and the game goes on.
#include <unistd.h>

#include "OnlineFixture.h"
#include "persist/Codec.h"

namespace tk::testing {
namespace {

namespace fs = std::filesystem;
namespace vk = platform::vk;

TEST(SettingsFile, FirstRunStartsInAWindowWithDefaultsAndWritesTheFileBeforeTheLogo) {
  OnlineGame g;
  bool fileAtLogo = false;
  auto logo = g.F().Scenes[SceneLogo].Build;
  g.F().Scenes[SceneLogo].Build = [&] {
    fileAtLogo = fs::exists(g.dir.Path() / "Config.cfg");
    logo();
  };
  g.Start();
  EXPECT_TRUE(fileAtLogo);
  EXPECT_EQ(g.F().CurrentScene, SceneLogo);
  EXPECT_FALSE(g.F().GameFullScreen);
  EXPECT_FALSE(g.plat.Record().FullScreen);
  EXPECT_TRUE(g.F().GameMusic && g.F().GameSound);
  EXPECT_EQ(g.SavedSettings(), TSettings{});
  EXPECT_TRUE(g.shell->Boxes.empty());
}

TEST(SettingsFile, StartUpAppliesWhatTheFileSays) {
  OnlineGame g;
  TSettings s;
  s.GameMusic = false;
  s.PlayerCountry = Cp("Россия");
  s.PlayerName = Cp("Маша");
  s.HighScores[0] = {Cp("Петя"), 9000};
  s.HighScores[9] = {"Kot", 150};
  g.WriteSettings(s);
  g.Start();
  EXPECT_FALSE(g.F().GameFullScreen);
  EXPECT_FALSE(g.F().GameMusic);
  EXPECT_TRUE(g.F().GameSound);
  EXPECT_EQ(g.F().Edit1, Cp("Россия"));
  EXPECT_EQ(g.F().PlayerCountry, Cp("Россия"));
  EXPECT_EQ(g.F().Edit2, Cp("Маша"));
  EXPECT_EQ(g.F().PlayerName, Cp("Маша"));
  EXPECT_EQ(g.F().HighScores[0].Name, Cp("Петя"));
  EXPECT_EQ(g.F().HighScores[0].Score, 9000);
  EXPECT_EQ(g.F().HighScores[9].Score, 150);
  // Written again on the way to the logo, unchanged.
  EXPECT_EQ(g.SavedSettings(), s);
}

TEST(SettingsFile, OnlyAFirstLineOfExactlyFalseKeepsTheWindow) {
  const struct {
    std::string Line;  // plain text of line 1
    bool FullScreen;
  } cases[] = {{"false", false}, {"true", true}, {"False", true}, {"", true}, {"0", true}};
  for (auto& c : cases) {
    SCOPED_TRACE(c.Line);
    OnlineGame g;
    std::string file = WriteSettings(TSettings{});
    file = EncodeText(c.Line) + file.substr(file.find("\r\n"));
    g.dir.Write("Config.cfg", file);
    g.F().FormCreate();
    // Full screen comes up during start-up, before the window is first shown.
    EXPECT_EQ(g.F().GameFullScreen, c.FullScreen);
    EXPECT_EQ(g.plat.Record().DisplayUp, c.FullScreen);
    EXPECT_EQ(g.plat.Record().FullScreen, c.FullScreen);
    EXPECT_FALSE(g.plat.Record().Shown);
    g.F().Show();
    EXPECT_EQ(g.plat.Record().FullScreen, c.FullScreen);
    EXPECT_EQ(g.SavedSettings().GameFullScreen, c.FullScreen);
  }
}

TEST(SettingsFile, ABadScoreLineStopsTheReadingAndStartUpGoesOn) {
  OnlineGame g;
  TSettings s;
  s.PlayerName = "Kot";
  s.HighScores[0] = {"Aaa", 7000};
  s.HighScores[1] = {"Bbb", 6000};
  s.HighScores[2] = {"Ccc", 5000};
  s.HighScores[3] = {"Ddd", 4000};
  std::string file = WriteSettings(s);
  // Row 2's score line (line 11) becomes "12x".
  std::vector<std::string> lines;
  for (size_t pos = 0; pos < file.size();) {
    const size_t end = file.find("\r\n", pos);
    lines.push_back(file.substr(pos, end - pos));
    pos = end + 2;
  }
  lines[10] = EncodeText("12x%%");
  file.clear();
  for (auto& l : lines) file += l + "\r\n";
  g.dir.Write("Config.cfg", file);

  ::testing::internal::CaptureStderr();
  g.Start();
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("'12x' is not a valid integer value"), std::string::npos) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);
  EXPECT_TRUE(g.shell->Boxes.empty());
  EXPECT_EQ(g.F().CurrentScene, SceneLogo);
  // Rows before the bad line are read, the rest keep their defaults.
  EXPECT_EQ(g.F().Edit2, "Kot");
  EXPECT_EQ(g.F().HighScores[0].Score, 7000);
  EXPECT_EQ(g.F().HighScores[1].Score, 6000);
  // Row 2's name line came before the bad score line.
  EXPECT_EQ(g.F().HighScores[2].Name, "Ccc");
  EXPECT_EQ(g.F().HighScores[2].Score, 2000);
  EXPECT_EQ(g.F().HighScores[3].Name, Cp("Ваня"));
  EXPECT_EQ(g.F().HighScores[3].Score, 1500);
}

TEST(SettingsFile, AFileThatCannotBeReadIsToldOnceAndTheDefaultsStand) {
  OnlineGame g;
  fs::create_directories(g.dir.Path() / "Config.cfg" / "inside");  // a folder by that name
  ::testing::internal::CaptureStderr();
  g.Start();
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(g.F().CurrentScene, SceneLogo);
  EXPECT_EQ(g.F().HighScores[0].Score, 3000);
  // One box for the reading and one for the writing that cannot replace a folder.
  ASSERT_EQ(g.shell->Boxes.size(), 2u);
  EXPECT_EQ(g.shell->Boxes[0].Text, "I/O error 21");
  EXPECT_EQ(g.shell->Boxes[0].Style, platform::MessageStyle::Error);
  EXPECT_EQ(g.shell->Boxes[1].Text, "I/O error 21");
  EXPECT_NE(err.find("I/O error 21"), std::string::npos);
}

TEST(SettingsFile, AFolderThatCannotBeWrittenIsToldOnceAndTheGameGoesOn) {
  OnlineGame g;
  g.Start();
  g.Run(100);
  ASSERT_TRUE(g.shell->Boxes.empty());
  // The game's folder disappears under it: nothing can be written there any more.
  const fs::path gone = g.dir.Path();
  fs::remove_all(gone);
  ASSERT_FALSE(fs::exists(gone));
  ::testing::internal::CaptureStderr();
  g.F().SwitchScene(SceneOptions);
  g.Key(vk::Esc);  // leaving the options writes
  g.F().SwitchScene(SceneHighScores);
  g.Key(vk::Esc);  // so does leaving the high scores
  g.GameOver(2750);
  g.Type("Kot");
  g.Frames(1);
  g.Key(vk::Enter);
  g.Key(vk::Esc);
  const std::string err = ::testing::internal::GetCapturedStderr();
  ASSERT_EQ(g.shell->Boxes.size(), 1u);
  EXPECT_EQ(g.shell->Boxes[0].Text, "I/O error 2");
  EXPECT_EQ(err, Cp1251ToUtf8(Cp("Тиноквак")) + ": I/O error 2\n");
  // The game kept what it had.
  EXPECT_EQ(g.F().CurrentScene, SceneMainMenu);
  EXPECT_EQ(g.F().HighScores[1].Name, "Kot");
}

TEST(SettingsFile, ClearingTheTableRestoresTheDefaultsAndSavesThem) {
  OnlineGame g;
  TSettings s;
  s.HighScores[0] = {"Kot", 9999};
  g.WriteSettings(s);
  g.Start();
  g.F().SwitchScene(SceneHighScores);
  g.F().Hooks.ResetHighScores();
  EXPECT_EQ(g.F().CurrentScene, SceneHighScores);
  EXPECT_EQ(g.F().HighScores[0].Score, 3000);
  // Rebuilding the screen left the old one, which wrote the new table.
  EXPECT_EQ(g.SavedSettings().HighScores, DefaultHighScores());
}

}  // namespace
}  // namespace tk::testing
