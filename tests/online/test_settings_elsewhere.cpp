// Config.cfg outside the game folder, as an installed game keeps it for each player.
#include "OnlineFixture.h"

namespace tk::testing {
namespace {

namespace fs = std::filesystem;

TEST(SettingsFile, AFileGivenOutsideTheGameFolderIsTheOneReadAndWritten) {
  OnlineGame g;
  const fs::path elsewhere = g.dir.Path() / "player" / "Config.cfg";
  fs::create_directories(elsewhere.parent_path());
  TSettings s;
  s.GameMusic = false;
  s.PlayerName = Cp("Маша");
  const std::string bytes = ::tk::WriteSettings(s);
  std::ofstream(elsewhere, std::ios::binary) << bytes;
  g.F().Options.SettingsFile = elsewhere;

  g.Start();
  EXPECT_FALSE(g.F().GameMusic);
  EXPECT_EQ(g.F().PlayerName, Cp("Маша"));
  g.F().GameSound = false;
  g.F().SwitchScene(SceneOptions);
  g.F().SwitchScene(SceneMainMenu);  // leaving the options writes the file

  EXPECT_FALSE(fs::exists(g.dir.Path() / "Config.cfg"));
  TSettings back;
  std::string error;
  ASSERT_TRUE(ReadSettings(ReadWholeFile(elsewhere.string()), back, error)) << error;
  s.GameSound = false;
  EXPECT_EQ(back, s);
}

}  // namespace
}  // namespace tk::testing
