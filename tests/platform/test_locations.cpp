// Finding the game folder from the program's place and choosing the player's Config.cfg.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/Locations.h"

namespace tk {
namespace {

namespace fs = std::filesystem;

struct LocationsFixture : ::testing::Test {
  fs::path root;
  LocationsFixture() {
    std::string t = (fs::temp_directory_path() / "tk-locations-XXXXXX").string();
    root = mkdtemp(t.data());
  }
  ~LocationsFixture() override { fs::remove_all(root); }
  static void Write(const fs::path& p, const std::string& bytes) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
  }
  static std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
};

TEST_F(LocationsFixture, GameFolderIsBesideTheProgramOrInTheInstalledTree) {
  // Portable: the program sits in its game folder (any case of "Data").
  fs::create_directories(root / "portable" / "data");
  EXPECT_EQ(FindGameFolder(root / "portable"), root / "portable");
  // Installed under any prefix, games/ or bin/.
  fs::create_directories(root / "prefix" / "share" / "games" / "tinokvak" / "Data");
  fs::create_directories(root / "prefix" / "games");
  fs::create_directories(root / "prefix" / "bin");
  EXPECT_EQ(FindGameFolder(root / "prefix" / "games"),
            root / "prefix" / "share" / "games" / "tinokvak");
  EXPECT_EQ(FindGameFolder(root / "prefix" / "bin"),
            root / "prefix" / "share" / "games" / "tinokvak");
  // Neither: the caller keeps its own choice.
  fs::create_directories(root / "elsewhere");
  EXPECT_FALSE(FindGameFolder(root / "elsewhere"));
  EXPECT_FALSE(FindGameFolder(fs::path()));
}

TEST_F(LocationsFixture, OnlyAWritablePortableFolderKeepsThePlayersFiles) {
  // Every folder here is writable by whoever runs the test, root included: the installed
  // tree must still be left alone.
  fs::create_directories(root / "portable" / "Data");
  fs::create_directories(root / "prefix" / "share" / "games" / "tinokvak" / "Data");
  fs::create_directories(root / "prefix" / "games");
  fs::create_directories(root / "elsewhere");
  const fs::path installed = root / "prefix" / "share" / "games" / "tinokvak";
  struct Case {
    fs::path gameDir, exeDir;
    bool keeps;
  } cases[] = {
      {root / "portable", root / "portable", true},
      {root / "portable" / ".", root / "portable", true},  // the same folder spelt otherwise
      {installed, root / "prefix" / "games", false},
      {installed, root / "prefix" / "share" / ".." / "games", false},
      // The program found no game folder: it runs where it was started.
      {root / "elsewhere", root / "elsewhere", true},
      {root / "elsewhere", fs::path(), true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GameFolderKeepsPlayerFiles(c.gameDir, c.exeDir), c.keeps)
        << c.gameDir << " run from " << c.exeDir;
  }
  const SettingsLocation w = ChooseSettingsFile(installed, root / "prefix" / "games");
  EXPECT_TRUE(w.PerUser);
  EXPECT_NE(w.File.parent_path(), installed);
}

TEST_F(LocationsFixture, WritableGameFolderKeepsItsOwnFile) {
  Write(root / "game" / "CONFIG.CFG", "x");
  const SettingsLocation w = ChooseSettingsFile(root / "game", true, "/xdg", "/home/p");
  EXPECT_FALSE(w.PerUser);
  EXPECT_EQ(w.File, root / "game" / "CONFIG.CFG");  // matched ignoring case, as the game does
  std::string error;
  EXPECT_TRUE(PrepareSettingsFile(w, error));
  EXPECT_FALSE(fs::exists(root / "xdg"));
}

TEST_F(LocationsFixture, ReadOnlyGameFolderUsesTheDataHome) {
  struct Case {
    const char* xdg;
    const char* home;
    fs::path expected;
  };
  const Case cases[] = {
      {"/data/home", "/home/p", "/data/home/tinokvak/Config.cfg"},
      {nullptr, "/home/p", "/home/p/.local/share/tinokvak/Config.cfg"},
      {"", "/home/p", "/home/p/.local/share/tinokvak/Config.cfg"},
      {"relative/dir", "/home/p", "/home/p/.local/share/tinokvak/Config.cfg"},  // ignored
  };
  for (const Case& c : cases) {
    const SettingsLocation w = ChooseSettingsFile(root / "game", false, c.xdg, c.home);
    EXPECT_TRUE(w.PerUser);
    EXPECT_EQ(w.File, c.expected) << (c.xdg ? c.xdg : "(unset)");
    EXPECT_TRUE(w.Seed.empty());  // nothing shipped
  }
}

TEST_F(LocationsFixture, FirstStartCopiesTheShippedFileOnce) {
  const std::string shipped = "shipped settings\r\n";
  Write(root / "game" / "Config.cfg", shipped);
  const fs::path xdg = root / "xdg";
  const SettingsLocation w = ChooseSettingsFile(root / "game", false, xdg.c_str(), "/nowhere");
  ASSERT_EQ(w.Seed, root / "game" / "Config.cfg");
  ASSERT_EQ(w.File, xdg / "tinokvak" / "Config.cfg");

  std::string error;
  ASSERT_TRUE(PrepareSettingsFile(w, error)) << error;
  EXPECT_EQ(Read(w.File), shipped);
  EXPECT_FALSE(fs::exists(xdg / "tinokvak" / "Config.cfg.first"));

  // The player's own file is never replaced by the shipped one again.
  Write(w.File, "the player's");
  ASSERT_TRUE(PrepareSettingsFile(w, error)) << error;
  EXPECT_EQ(Read(w.File), "the player's");
  EXPECT_EQ(Read(w.Seed), shipped);
}

TEST_F(LocationsFixture, DataHomeFolderIsMadeEvenWithoutAShippedFile) {
  const fs::path xdg = root / "a" / "b";
  const SettingsLocation w = ChooseSettingsFile(root / "game", false, xdg.c_str(), "/nowhere");
  std::string error;
  ASSERT_TRUE(PrepareSettingsFile(w, error)) << error;
  EXPECT_TRUE(fs::is_directory(xdg / "tinokvak"));
  EXPECT_FALSE(fs::exists(w.File));  // the game starts from its defaults
}

TEST_F(LocationsFixture, FolderThatCannotBeMadeIsReported) {
  Write(root / "file", "");  // a file where the folder should go
  const fs::path xdg = root / "file";
  const SettingsLocation w = ChooseSettingsFile(root / "game", false, xdg.c_str(), "/nowhere");
  std::string error;
  EXPECT_FALSE(PrepareSettingsFile(w, error));
  EXPECT_NE(error.find((root / "file" / "tinokvak").string()), std::string::npos) << error;
}

}  // namespace
}  // namespace tk
