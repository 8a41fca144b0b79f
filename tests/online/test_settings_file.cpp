// Config.cfg on the main window: read once at start-up, written on the way to the logo and
// whenever the options, high-score or game-over screens are left; a file that fails is
// told once and the game goes on.
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <initializer_list>

#include "OnlineFixture.h"
#include "media/XmModule.h"
#include "protocol/Codec.h"
#include "support/SettingsFiles.h"
#include "support/Unprivileged.h"

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

// The real game puts the start-up write and the logo's tune after its first frame: the same
// file, written then (or on the way out, had no frame come), and a later write at once.
TEST(SettingsFile, TheRealGamesStartUpWriteAndTuneFollowItsFirstFrame) {
  for (const bool framed : {true, false}) {
    SCOPED_TRACE(framed ? "a first frame" : "closed before its first frame");
    OnlineGame g;
    g.dir.Write("Music/1.xm", BuildXm());
    ASSERT_FALSE(fs::exists(g.dir.Path() / "Config.cfg"));  // a first run: the file is made
    g.F().Options.TuneAndSettingsAfterFirstFrame = true;
    g.Start();
    EXPECT_EQ(g.F().CurrentScene, SceneLogo);
    EXPECT_FALSE(fs::exists(g.dir.Path() / "Config.cfg"));
    EXPECT_EQ(g.F().CurrentTrack(), "");
    EXPECT_FALSE(g.F().StartDeferredTune());  // not before the frame
    if (framed) {
      g.Frames(1);
      EXPECT_FALSE(fs::exists(g.dir.Path() / "Config.cfg"));
      EXPECT_TRUE(g.F().StartDeferredTune());
      EXPECT_EQ(g.F().CurrentTrack(), "1");
      EXPECT_FALSE(g.F().StartDeferredTune());
    }
    EXPECT_TRUE(g.F().SaveDeferredSettings());
    EXPECT_EQ(g.SavedSettings(), TSettings{});
    EXPECT_FALSE(g.F().SaveDeferredSettings());  // once
    if (framed) {
      // After the first frame a write is made when it is asked for.
      g.F().SwitchScene(SceneMainMenu);
      g.F().GameSound = false;
      g.F().SwitchScene(SceneOptions);
      g.F().SwitchScene(SceneMainMenu);
      EXPECT_FALSE(g.SavedSettings().GameSound);
      EXPECT_FALSE(g.F().SaveDeferredSettings());
    }
  }
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
  EXPECT_EQ(g.Typing().Edit1, Cp("Россия"));
  EXPECT_EQ(g.Typing().PlayerCountry, Cp("Россия"));
  EXPECT_EQ(g.Online().Edit2, Cp("Маша"));
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

std::string Bytes(const fs::path& p) { return ReadWholeFile(p.string()); }

const TSettings kSaved = Rows({9000, 8000, 7000, 6000, 5000, 4000, 3000, 2500, 2200, 2100});

// The start-up of a game over a damaged Config.cfg: what is on screen, on disk and said.
struct TDamageCase {
  std::string name;
  std::string file;
  std::string said;       // on stderr after "Config.cfg: "
  int32_t row2Score;      // row "C" after reading
};

class DamagedFile : public ::testing::TestWithParam<TDamageCase> {};

TEST_P(DamagedFile, IsKeptAsBakBeforeTheFirstSaveAndThePlayerIsToldOnce) {
  const auto& c = GetParam();
  OnlineGame g;
  g.dir.Write("Config.cfg", c.file);
  ::testing::internal::CaptureStderr();
  g.Start();
  g.F().SwitchScene(SceneOptions);
  g.Key(vk::Esc);  // a second save: no second copy, no second box
  const std::string err = ::testing::internal::GetCapturedStderr();

  EXPECT_NE(err.find("Config.cfg: " + c.said), std::string::npos) << err;
  EXPECT_NE(err.find("the old file was kept as Config.cfg.bak"), std::string::npos) << err;
  ASSERT_EQ(g.shell->Boxes.size(), 1u);
  EXPECT_EQ(g.shell->Boxes[0].Text,
            "Config.cfg could not be read in full. The old file was kept as Config.cfg.bak.");
  // The old bytes are on disk under the new name; the new file holds what the game read.
  EXPECT_EQ(Bytes(g.dir.Path() / "Config.cfg.bak"), c.file);
  EXPECT_FALSE(fs::exists(g.dir.Path() / "Config.cfg.bak.1"));
  const TSettings now = g.SavedSettings();
  EXPECT_EQ(now.HighScores[0], (TLocal_HighScores{"A", 9000}));
  EXPECT_EQ(now.HighScores[1], (TLocal_HighScores{"B", 8000}));
  int row = -1;
  for (int k = 0; k < HighScoreRows; ++k)
    if (g.F().HighScores[k].Name == "C") row = k;
  ASSERT_GE(row, 0);
  EXPECT_EQ(g.F().HighScores[row].Score, c.row2Score);
}

INSTANTIATE_TEST_SUITE_P(
    SettingsFile, DamagedFile,
    ::testing::Values(
        // Row C's score line (11) is damaged: it keeps its default 2000 and goes to the bottom;
        // the rows after it are read.
        TDamageCase{"bad_line", FileWith(kSaved, {{11, "89x0%"}}),
                    "line 11: '89x0' is not a valid integer value", 2000},
        // Cut in the middle of row D's name line (12): rows A to C are read.
        TDamageCase{"cut_mid_line", WriteSettings(kSaved).substr(0, 32 + 60 + 4),
                    "line 12 is cut short", 7000}),
    [](const auto& info) { return info.param.name; });

TEST(SettingsFile, ABadLineInTheMiddleKeepsTheRowsBeforeAndAfterIt) {
  OnlineGame g;
  TSettings saved = kSaved;
  saved.PlayerName = "Kot";
  g.dir.Write("Config.cfg", FileWith(saved, {{11, "89x0%"}}));
  ::testing::internal::CaptureStderr();
  g.Start();
  ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(g.Online().Edit2, "Kot");
  const char* names = "ABDEFGHIJC";
  const int32_t scores[] = {9000, 8000, 6000, 5000, 4000, 3000, 2500, 2200, 2100, 2000};
  for (int k = 0; k < HighScoreRows; ++k) {
    EXPECT_EQ(g.F().HighScores[k].Name, std::string(1, names[k])) << k;
    EXPECT_EQ(g.F().HighScores[k].Score, scores[k]) << k;
  }
  EXPECT_EQ(g.SavedSettings().HighScores[9], (TLocal_HighScores{"C", 2000}));
}

TEST(SettingsFile, AFileOutsideTheGameFolderHasItsCopyAndTemporaryFileBesideIt) {
  OnlineGame g;
  const fs::path elsewhere = g.dir.Path() / "player" / "Config.cfg";
  fs::create_directories(elsewhere.parent_path());
  const std::string damaged = FileWith(kSaved, {{11, "89x0%"}});
  std::ofstream(elsewhere, std::ios::binary) << damaged;
  std::ofstream(elsewhere.string() + ".tmp") << "half a save";
  g.dir.Write("Config.cfg.tmp", "not the player's");
  g.F().Options.SettingsFile = elsewhere;
  ::testing::internal::CaptureStderr();
  g.Start();
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find(elsewhere.string() + ": line 11: "), std::string::npos) << err;
  EXPECT_EQ(Bytes(elsewhere.string() + ".bak"), damaged);
  EXPECT_FALSE(fs::exists(elsewhere.string() + ".tmp"));
  EXPECT_EQ(Bytes(g.dir.Path() / "Config.cfg.tmp"), "not the player's");
  EXPECT_FALSE(fs::exists(g.dir.Path() / "Config.cfg"));
  ASSERT_EQ(g.shell->Boxes.size(), 1u);
  EXPECT_EQ(g.shell->Boxes[0].Text, elsewhere.string() +
                                        " could not be read in full. The old file was kept as " +
                                        elsewhere.string() + ".bak.");
}

TEST(SettingsFile, ASecondDamagedFileGetsTheNextNumberAndTheFirstCopyStays) {
  OnlineGame g;
  g.dir.Write("Config.cfg.bak", "an earlier copy");
  const std::string damaged = FileWith(kSaved, {{7, "x%%%%"}});
  g.dir.Write("Config.cfg", damaged);
  ::testing::internal::CaptureStderr();
  g.Start();
  ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(Bytes(g.dir.Path() / "Config.cfg.bak"), "an earlier copy");
  EXPECT_EQ(Bytes(g.dir.Path() / "Config.cfg.bak.1"), damaged);
  ASSERT_EQ(g.shell->Boxes.size(), 1u);
  EXPECT_NE(g.shell->Boxes[0].Text.find("kept as Config.cfg.bak.1."), std::string::npos);
}

TEST(SettingsFile, AnUnreadableFileIsKeptAndNotReplacedByTheDefaults) {
  OnlineGame g;
  const std::string saved = WriteSettings(kSaved);
  g.dir.Write("Config.cfg", saved);
  fs::permissions(g.dir.Path(), fs::perms::all);  // the unprivileged user works in it
  fs::permissions(g.dir.Path() / "Config.cfg", fs::perms::none);
  TK_RUN_UNPRIVILEGED([&] {
    ::testing::internal::CaptureStderr();
    g.Start();
    g.F().SwitchScene(SceneHighScores);
    g.Key(vk::Esc);  // leaving the table saves again
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Config.cfg: Permission denied"), std::string::npos) << err;
    ASSERT_EQ(g.shell->Boxes.size(), 2u);
    EXPECT_EQ(g.shell->Boxes[0].Text, "File access denied");
    EXPECT_EQ(g.shell->Boxes[1].Text,
              "Config.cfg could not be read in full. The old file was kept as Config.cfg.bak.");
    EXPECT_EQ(g.F().HighScores[0].Score, 3000);  // the defaults are on screen
  });
  fs::permissions(g.dir.Path() / "Config.cfg.bak", fs::perms::owner_read);
  EXPECT_EQ(Bytes(g.dir.Path() / "Config.cfg.bak"), saved);
  EXPECT_EQ(Bytes(g.dir.Path() / "Config.cfg"), WriteSettings(TSettings{}));
}

TEST(SettingsFile, AFolderNamedConfigCfgIsLeftAsItIsAndNamedInTheMessage) {
  OnlineGame g;
  fs::create_directories(g.dir.Path() / "Config.cfg" / "inside");
  g.dir.Write("Config.cfg/inside/notes", "kept");
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
  EXPECT_NE(err.find("Config.cfg: Is a directory"), std::string::npos) << err;
  EXPECT_EQ(Bytes(g.dir.Path() / "Config.cfg" / "inside" / "notes"), "kept");
  EXPECT_FALSE(fs::exists(g.dir.Path() / "Config.cfg.bak"));
  EXPECT_FALSE(fs::exists(g.dir.Path() / "Config.cfg.tmp"));
}

TEST(SettingsFile, AReadOnlyFolderKeepsTheOldFile) {
  OnlineGame g;
  const std::string saved = WriteSettings(kSaved);
  g.dir.Write("Config.cfg", saved);
  fs::permissions(g.dir.Path(), fs::perms::owner_read | fs::perms::owner_exec |
                                    fs::perms::group_read | fs::perms::group_exec |
                                    fs::perms::others_read | fs::perms::others_exec);
  TK_RUN_UNPRIVILEGED([&] {
    ::testing::internal::CaptureStderr();
    g.Start();
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Config.cfg.tmp: Permission denied"), std::string::npos) << err;
    ASSERT_EQ(g.shell->Boxes.size(), 1u);
    EXPECT_EQ(g.shell->Boxes[0].Text, "I/O error " + std::to_string(EACCES));
    EXPECT_EQ(g.F().HighScores[0].Name, "A");
    EXPECT_EQ(g.F().HighScores[0].Score, 9000);
  });
  EXPECT_EQ(Bytes(g.dir.Path() / "Config.cfg"), saved);
  fs::permissions(g.dir.Path(), fs::perms::owner_all);
}

// A tiny file system for the game folder when this process may mount one.
class TinyDisk {
 public:
  explicit TinyDisk(const fs::path& dir) : dir_(dir) {
    if (::geteuid() != 0) return;
    mounted_ = ::mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=64k") == 0;
    // The current folder is still the one underneath until it is entered again.
    if (mounted_) fs::current_path(dir);
  }
  ~TinyDisk() {
    if (!mounted_) return;
    fs::current_path(dir_.parent_path());
    ::umount2(dir_.c_str(), MNT_DETACH);
    fs::current_path(dir_);
  }
  bool Mounted() const { return mounted_; }
  // Fills what is left, so the next write fails with ENOSPC.
  void Fill() {
    std::ofstream out(dir_ / "filler", std::ios::binary);
    const std::string block(4096, 'x');
    while (out.write(block.data(), block.size()) && out.flush()) {
    }
  }

 private:
  fs::path dir_;
  bool mounted_ = false;
};

TEST(SettingsFile, AFullDiskKeepsTheOldFile) {
  OnlineGame g;
  g.Start();
  g.Run(100);
  ASSERT_TRUE(g.shell->Boxes.empty());
  // The archives are loaded; from here on the folder is a nearly full disk (or, where no
  // file system can be mounted, writes past 64 bytes fail).
  TinyDisk disk(g.dir.Path());
  const std::string saved = WriteSettings(kSaved);
  g.dir.Write("Config.cfg", saved);
  struct rlimit old {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  int expected = ENOSPC;
  if (disk.Mounted()) {
    disk.Fill();
  } else {
    struct rlimit small = old;
    small.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    expected = EFBIG;
  }
  ::testing::internal::CaptureStderr();
  g.F().SwitchScene(SceneOptions);
  g.Key(vk::Esc);  // leaving the options saves
  const std::string err = ::testing::internal::GetCapturedStderr();
  ::setrlimit(RLIMIT_FSIZE, &old);
  ::signal(SIGXFSZ, oldHandler);

  EXPECT_NE(err.find(std::string("Config.cfg.tmp: ") + std::strerror(expected)), std::string::npos)
      << err;
  ASSERT_EQ(g.shell->Boxes.size(), 1u);
  EXPECT_EQ(g.shell->Boxes[0].Text, "I/O error " + std::to_string(expected));
  EXPECT_EQ(Bytes(g.dir.Path() / "Config.cfg"), saved);
  EXPECT_FALSE(fs::exists(g.dir.Path() / "Config.cfg.tmp"));
}

TEST(SettingsFile, ALeftoverOfAKilledSaveIsRemovedAtStartUpAndNothingElse) {
  OnlineGame g;
  g.dir.Write("Config.cfg.tmp", "half a save");
  g.dir.Write("Config.cfg.tmp4242-0", "not ours");
  g.dir.Write("Config.cfg.bak", "an old copy");
  g.Start();
  EXPECT_FALSE(fs::exists(g.dir.Path() / "Config.cfg.tmp"));
  EXPECT_EQ(Bytes(g.dir.Path() / "Config.cfg.tmp4242-0"), "not ours");
  EXPECT_EQ(Bytes(g.dir.Path() / "Config.cfg.bak"), "an old copy");
  EXPECT_TRUE(g.shell->Boxes.empty());
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
  // Each failed save says so on stderr, naming the file.
  EXPECT_NE(err.find(Cp1251ToUtf8(Cp("Тиноквак")) + ": Config.cfg.tmp: No such file or directory\n"),
            std::string::npos)
      << err;
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
