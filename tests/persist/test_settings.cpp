#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "protocol/Codec.h"
#include "persist/Settings.h"
#include "support/SettingsFiles.h"
#include "support/Unprivileged.h"

namespace tk {
namespace {

using testing::FileWith;
using testing::Rows;
using testing::SplitCrLf;

namespace fs = std::filesystem;
using namespace std::string_literals;

// Windows-1251 spellings of the names used here.
const std::string kVanya = "\xC2\xE0\xED\xFF";           // Ваня
const std::string kPetya = "\xCF\xE5\xF2\xFF";           // Петя
const std::string kVasilisa = "\xC2\xE0\xF1\xE8\xEB\xE8\xF1\xE0";  // Василиса

// A file whose lines are the encodings of the given plain texts.
std::string FileOf(std::initializer_list<std::string> plain) {
  std::string out;
  for (const auto& line : plain) out += EncodeText(line) + "\r\n";
  return out;
}

TSettings Read(const std::string& bytes, std::string* errorOut = nullptr) {
  TSettings s;
  std::string error;
  const bool ok = ReadSettings(bytes, s, error);
  EXPECT_EQ(ok, error.empty());
  if (errorOut) *errorOut = error;
  return s;
}

TEST(HighScores, DefaultTable) {
  const TSettings s;
  EXPECT_FALSE(s.GameFullScreen);
  EXPECT_TRUE(s.GameMusic);
  EXPECT_TRUE(s.GameSound);
  EXPECT_EQ(s.PlayerCountry, "");
  EXPECT_EQ(s.PlayerName, "");
  const int32_t scores[] = {3000, 2500, 2000, 1500, 1000, 500, 400, 300, 200, 100};
  for (int k = 0; k < HighScoreRows; ++k) {
    EXPECT_EQ(s.HighScores[k].Name, kVanya);
    EXPECT_EQ(s.HighScores[k].Score, scores[k]);
  }
  EXPECT_EQ(LowestHighScore(s.HighScores), 100);
}

struct TAdmissionCase {
  int32_t score;
  bool entryOpens;
  bool recorded;
  int rank;
};

class AdmissionCase : public ::testing::TestWithParam<TAdmissionCase> {};

TEST_P(AdmissionCase, AgainstTheDefaultTable) {
  const auto& c = GetParam();
  const THighScoreTable table = DefaultHighScores();
  EXPECT_EQ(NameEntryOpens(table, c.score), c.entryOpens);
  EXPECT_EQ(ResultIsRecorded(table, c.score), c.recorded);
  if (c.recorded) {
    EXPECT_EQ(HighScoreRank(table, c.score), c.rank);
  }
}

INSTANTIATE_TEST_SUITE_P(
    HighScores, AdmissionCase,
    ::testing::Values(TAdmissionCase{99, false, false, 0},
                    TAdmissionCase{100, true, false, 0},  // equal to the tenth row
                    TAdmissionCase{101, true, true, 9}, TAdmissionCase{200, true, true, 8},
                    TAdmissionCase{2750, true, true, 1}, TAdmissionCase{3000, true, true, 0},
                    TAdmissionCase{INT32_MAX, true, true, 0}));

TEST(HighScores, RecordMovesTheLowerRowsDown) {
  THighScoreTable table = DefaultHighScores();
  EXPECT_EQ(RecordHighScore(table, kPetya, 2750), 1);
  const int32_t scores[] = {3000, 2750, 2500, 2000, 1500, 1000, 500, 400, 300, 200};
  for (int k = 0; k < HighScoreRows; ++k) {
    EXPECT_EQ(table[k].Score, scores[k]) << k;
    EXPECT_EQ(table[k].Name, k == 1 ? kPetya : kVanya) << k;
  }

  // An equal score takes the place of the row it ties with.
  EXPECT_EQ(RecordHighScore(table, "Tie", 2500), 2);
  EXPECT_EQ(table[2].Name, "Tie");
  EXPECT_EQ(table[3].Score, 2500);
  EXPECT_EQ(table[3].Name, kVanya);
  EXPECT_EQ(table[9].Score, 300);
}

TEST(HighScores, RecordAtTheBottomAndRefusals) {
  THighScoreTable table = DefaultHighScores();
  EXPECT_EQ(RecordHighScore(table, "Low", 150), 9);
  EXPECT_EQ(table[8], (TLocal_HighScores{kVanya, 200}));
  EXPECT_EQ(table[9], (TLocal_HighScores{"Low", 150}));

  const THighScoreTable before = table;
  EXPECT_EQ(RecordHighScore(table, "Same", 150), -1);  // equal to the lowest: not recorded
  EXPECT_EQ(RecordHighScore(table, "Less", -5), -1);
  EXPECT_EQ(table, before);
}

TEST(SettingsFile, WritesTwentyFiveEncodedLines) {
  TSettings s;
  s.GameFullScreen = true;
  s.GameMusic = false;
  s.PlayerName = kPetya;
  s.HighScores[0] = {"Vasya", 12345};
  s.HighScores[9] = {"", -7};
  const std::string bytes = WriteSettings(s);

  ASSERT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
  const std::vector<std::string> lines = SplitCrLf(bytes);
  ASSERT_EQ(lines.size(), 25u);
  EXPECT_EQ(lines[0], EncodeText("true"));  // flags are not padded
  EXPECT_EQ(lines[1], EncodeText("false"));
  EXPECT_EQ(lines[2], EncodeText("true"));
  EXPECT_EQ(lines[3], "");  // empty country
  EXPECT_EQ(lines[4], EncodeText(kPetya + "%"));
  EXPECT_EQ(lines[5], EncodeText("Vasya"));  // five characters need no padding
  EXPECT_EQ(lines[6], EncodeText("12345"));
  EXPECT_EQ(lines[7], EncodeText(kVanya + "%"));
  EXPECT_EQ(lines[8], EncodeText("2500%"));
  EXPECT_EQ(lines[22], EncodeText("200%%"));
  EXPECT_EQ(lines[23], "");  // an empty name stays an empty line
  EXPECT_EQ(lines[24], EncodeText("-7%%%"));
  for (const auto& line : lines)
    EXPECT_EQ(line.find_first_not_of(EncodingAlphabet), std::string::npos);
}

class RoundTrip : public ::testing::TestWithParam<TSettings> {};

TEST_P(RoundTrip, ReadsBackWhatWasWritten) {
  std::string error;
  TSettings read;
  EXPECT_TRUE(ReadSettings(WriteSettings(GetParam()), read, error)) << error;
  EXPECT_EQ(read, GetParam());
}

TSettings Varied() {
  TSettings s;
  s.GameFullScreen = true;
  s.GameMusic = false;
  s.PlayerCountry = "Russia";
  s.PlayerName = kVasilisa + "12";  // ten characters
  s.HighScores[0] = {"\x01\x7F\x80\xFF", INT32_MAX};
  s.HighScores[4] = {"a%b", 0};
  s.HighScores[9] = {kPetya, INT32_MIN};
  return s;
}

TSettings SoundOffWindowed() {
  TSettings s;
  s.GameSound = false;
  s.PlayerCountry = "UA";
  return s;
}

INSTANTIATE_TEST_SUITE_P(SettingsFile, RoundTrip,
                         ::testing::Values(TSettings{}, Varied(), SoundOffWindowed()));

TEST(SettingsFile, LfOnlyLinesAndStrayCharactersReadTheSame) {
  const std::string original = WriteSettings(Varied());
  std::string lfOnly, noisy;
  for (char c : original) {
    if (c != '\r') lfOnly += c;
    noisy += c;
    if (c == 'M') noisy += " m\t";
  }
  EXPECT_EQ(Read(lfOnly), Varied());
  EXPECT_EQ(Read(noisy), Varied());
}

struct TFlagCase {
  std::string line;
  bool fullScreen;  // line 1
  bool keepsOn;     // the same text in lines 2 and 3
};

class FlagLine : public ::testing::TestWithParam<TFlagCase> {};

TEST_P(FlagLine, OnlyExactlyFalseCounts) {
  const auto& c = GetParam();
  const TSettings s = Read(FileOf({c.line, c.line, c.line}));
  EXPECT_EQ(s.GameFullScreen, c.fullScreen);
  EXPECT_EQ(s.GameMusic, c.keepsOn);
  EXPECT_EQ(s.GameSound, c.keepsOn);
}

INSTANTIATE_TEST_SUITE_P(SettingsFile, FlagLine,
                         ::testing::Values(TFlagCase{"false", false, false},
                                         TFlagCase{"False", true, true},
                                         TFlagCase{"FALSE", true, true},
                                         TFlagCase{"", true, true},
                                         TFlagCase{"true", true, true},
                                         TFlagCase{"false%%%%%", true, true}));

TEST(SettingsFile, MissingLinesReadAsEmptyAndAreReported) {
  // An existing but empty file: every line is empty, so only full screen changes.
  TSettings expected;
  expected.GameFullScreen = true;
  std::string error;
  EXPECT_EQ(Read("", &error), expected);
  EXPECT_EQ(error, "the file is empty");

  TSettings s;
  s.PlayerCountry = "old";
  const std::string rows = FileOf({"false", "true", "true", "ab%%%", "%%%%%", "", "777%%"});
  EXPECT_EQ(ReadSettingsLines(rows, s), std::vector<std::string>{"the file ends after line 7"});
  EXPECT_EQ(s.PlayerCountry, "ab");
  EXPECT_EQ(s.PlayerName, "");            // only "%" reads as empty
  EXPECT_EQ(s.HighScores[0].Name, kVanya);  // empty name line: kept
  EXPECT_EQ(s.HighScores[0].Score, 777);
  EXPECT_EQ(s.HighScores[1], DefaultHighScores()[1]);
}

TEST(SettingsFile, ABadScoreLineKeepsThatRowsScoreAndTheRowsAfterIt) {
  // Row 2's score (line 11) is damaged; rows 3 to 9 come after it.
  const TSettings saved = Rows({9000, 8000, 7000, 6000, 5000, 4000, 3000, 2500, 2200, 2100});
  const std::string bytes = FileWith(saved, {{11, "89x0%"}, {5, kPetya + "%"}});
  TSettings s;
  EXPECT_EQ(ReadSettingsLines(bytes, s),
            std::vector<std::string>{"line 11: '89x0' is not a valid integer value"});
  EXPECT_EQ(s.PlayerName, kPetya);
  // Row 2 keeps its name and its default score (2000), and takes its place by that score.
  const THighScoreTable want = Rows({9000, 8000, 6000, 5000, 4000, 3000, 2500, 2200, 2100}).HighScores;
  for (int k = 0; k < 2; ++k) EXPECT_EQ(s.HighScores[k], want[k]) << k;
  EXPECT_EQ(s.HighScores[2], (TLocal_HighScores{"D", 6000}));
  EXPECT_EQ(s.HighScores[8], (TLocal_HighScores{"J", 2100}));
  EXPECT_EQ(s.HighScores[9], (TLocal_HighScores{"C", 2000}));
}

TEST(SettingsFile, DamagedRowsSortByScoreAndTiesKeepTheirOrder) {
  const TSettings saved = Rows({9000, 8000, 7000, 6000, 5000, 4000, 3000, 2500, 2200, 2100});
  // Rows 0 and 1 are damaged: they keep 3000 and 2500, which ties with rows 6 and 7.
  TSettings s;
  EXPECT_EQ(ReadSettingsLines(FileWith(saved, {{7, "x%%%%"}, {9, "--1%%"}}), s).size(), 2u);
  const std::string order = [&] {
    std::string o;
    for (const auto& row : s.HighScores) o += row.Name + std::to_string(row.Score) + " ";
    return o;
  }();
  EXPECT_EQ(order, "C7000 D6000 E5000 F4000 A3000 G3000 B2500 H2500 I2200 J2100 ");
}

struct TCutCase {
  std::string name;
  size_t keep;  // bytes kept of a whole file (npos: all) ...
  std::string extra;  // ... followed by these
  std::vector<std::string> problems;
  int rowsRead;  // rows 0.. read from the file
};

class CutFile : public ::testing::TestWithParam<TCutCase> {};

TEST_P(CutFile, WhatWasReadStandsAndTheRestIsReported) {
  const auto& c = GetParam();
  const TSettings saved = Rows({9000, 8000, 7000, 6000, 5000, 4000, 3000, 2500, 2200, 2100});
  const std::string whole = WriteSettings(saved);
  TSettings s;
  EXPECT_EQ(ReadSettingsLines(whole.substr(0, c.keep) + c.extra, s), c.problems);
  const THighScoreTable defaults = DefaultHighScores();
  for (int k = 0; k < HighScoreRows; ++k)
    EXPECT_EQ(s.HighScores[k], k < c.rowsRead ? saved.HighScores[k] : defaults[k]) << k;
}

// The file is 32 bytes of settings, then rows of two 10-byte lines.
INSTANTIATE_TEST_SUITE_P(
    SettingsFile, CutFile,
    ::testing::Values(
        TCutCase{"whole", std::string::npos, "", {}, 10},
        TCutCase{"blank lines after the end", std::string::npos, "\r\n \r\n", {}, 10},
        TCutCase{"cut in the middle of row 3's name", 32 + 60 + 4, "",
                 {"line 12 is cut short"}, 3},
        TCutCase{"cut before row 3's name's line end", 32 + 60 + 8, "",
                 {"line 12 is cut short"}, 3},
        TCutCase{"cut after row 2", 32 + 60, "", {"the file ends after line 11"}, 3},
        TCutCase{"more data after line 25", std::string::npos, "MNBVCXZL\r\n",
                 {"the file goes on after line 25"}, 10}),
    [](const auto& info) {
      std::string n = info.param.name;
      for (auto& ch : n)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return n;
    });

struct TScoreText {
  std::string text;
  bool valid;
  int32_t value;
};

class ScoreText : public ::testing::TestWithParam<TScoreText> {};

TEST_P(ScoreText, DecimalIntegersOnly) {
  const auto& c = GetParam();
  std::string error;
  const TSettings s = Read(FileWith(TSettings{}, {{7, c.text}}), &error);
  if (c.valid) {
    EXPECT_EQ(s.HighScores[0].Score, c.value);
  } else {
    std::string shown = DecodeText(EncodeText(c.text));
    while (!shown.empty() && shown.back() == '%') shown.pop_back();
    EXPECT_EQ(error, "line 7: '" + shown + "' is not a valid integer value");
    EXPECT_EQ(s.HighScores[0].Score, 3000);
  }
}

INSTANTIATE_TEST_SUITE_P(
    SettingsFile, ScoreText,
    ::testing::Values(TScoreText{"-5%%%", true, -5}, TScoreText{"+7%%%", true, 7},
                    TScoreText{"00042", true, 42},
                    TScoreText{"-2147483648%%%%", true, INT32_MIN},
                    TScoreText{"2147483647", true, INT32_MAX},
                    TScoreText{"2147483648", false, 0}, TScoreText{"99999999999999999999", false, 0},
                    TScoreText{"1.5%%", false, 0}, TScoreText{"0x10%", false, 0},
                    TScoreText{" 12%%", false, 0}, TScoreText{"-%%%%", false, 0},
                    TScoreText{"true", false, 0},  // unpadded: read as "\0true"
                    TScoreText{"12345678", false, 0}));

class SettingsFileOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "tk_settings_XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    file_ = dir_ / "Config.cfg";
  }
  void TearDown() override {
    fs::permissions(dir_, fs::perms::owner_all);
    fs::remove_all(dir_);
  }
  static std::string Contents(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  void WriteOld() { std::ofstream(file_, std::ios::binary) << "old contents"; }
  size_t EntriesInDir() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir_), {}));
  }

  fs::path dir_, file_;
};

TEST_F(SettingsFileOnDisk, CreatesAndReplacesTheFile) {
  TFileError error;
  ASSERT_TRUE(SaveSettingsFile(file_, TSettings{}, error)) << error.Message;
  EXPECT_EQ(Contents(file_), WriteSettings(TSettings{}));

  ASSERT_TRUE(SaveSettingsFile(file_, Varied(), error)) << error.Message;
  EXPECT_EQ(Contents(file_), WriteSettings(Varied()));
  EXPECT_EQ(Read(Contents(file_)), Varied());
  EXPECT_EQ(EntriesInDir(), 1u);  // no temporary file left beside it
}

TEST_F(SettingsFileOnDisk, AFailedWriteLeavesTheOldFileAndNamesTheFile) {
  WriteOld();
  // Writes past 64 bytes fail (EFBIG) even for root, in the middle of the file.
  struct rlimit old {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  struct rlimit small = old;
  small.rlim_cur = 64;
  const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  TFileError error;
  const bool saved = SaveSettingsFile(file_, Varied(), error);
  ::setrlimit(RLIMIT_FSIZE, &old);
  ::signal(SIGXFSZ, oldHandler);

  EXPECT_FALSE(saved);
  EXPECT_EQ(error.Errno, EFBIG);
  EXPECT_EQ(error.Message, (dir_ / "Config.cfg.tmp").string() + ": " + std::strerror(EFBIG));
  EXPECT_EQ(Contents(file_), "old contents");
  EXPECT_EQ(EntriesInDir(), 1u);
}

TEST_F(SettingsFileOnDisk, AMissingFolderIsReported) {
  TFileError error;
  EXPECT_FALSE(SaveSettingsFile(dir_ / "absent" / "Config.cfg", TSettings{}, error));
  EXPECT_EQ(error.Errno, ENOENT);
  EXPECT_EQ(error.Message, (dir_ / "absent" / "Config.cfg.tmp").string() + ": No such file or directory");
}

TEST_F(SettingsFileOnDisk, AReadOnlyFolderKeepsTheOldFile) {
  WriteOld();
  fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                            fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
  TK_RUN_UNPRIVILEGED([&] {
    TFileError error;
    EXPECT_FALSE(SaveSettingsFile(file_, Varied(), error));
    EXPECT_EQ(error.Errno, EACCES);
    EXPECT_NE(error.Message.find("Config.cfg.tmp: Permission denied"), std::string::npos);
    EXPECT_EQ(Contents(file_), "old contents");
  });
}

TEST_F(SettingsFileOnDisk, LoadingTellsWhetherTheFileWasReadInFull) {
  TSettings s;
  EXPECT_EQ(LoadSettingsFile(file_, s).State, TSettingsLoad::Missing);
  EXPECT_FALSE(LoadSettingsFile(file_, s).MustKeep());
  EXPECT_EQ(s, TSettings{});

  std::ofstream(file_, std::ios::binary) << WriteSettings(Varied());
  TSettingsLoad load = LoadSettingsFile(file_, s);
  EXPECT_EQ(load.State, TSettingsLoad::Whole);
  EXPECT_FALSE(load.MustKeep());
  EXPECT_EQ(s, Varied());

  std::ofstream(file_, std::ios::binary) << WriteSettings(Varied()).substr(0, 50);
  load = LoadSettingsFile(file_, s);
  EXPECT_EQ(load.State, TSettingsLoad::Partial);
  EXPECT_TRUE(load.MustKeep());

  fs::remove(file_);
  fs::create_directory(file_);
  load = LoadSettingsFile(file_, s);
  EXPECT_EQ(load.State, TSettingsLoad::Unreadable);
  EXPECT_EQ(load.Errno, EISDIR);
  EXPECT_EQ(load.Problems, std::vector<std::string>{"Is a directory"});
  EXPECT_TRUE(load.MustKeep());
}

TEST_F(SettingsFileOnDisk, AnUnreadableFileIsReportedAndKeptBesideTheNextSave) {
  WriteOld();
  fs::permissions(dir_, fs::perms::all);  // open to the unprivileged user
  fs::permissions(file_, fs::perms::none);
  TK_RUN_UNPRIVILEGED([&] {
    TSettings s;
    const TSettingsLoad load = LoadSettingsFile(file_, s);
    EXPECT_EQ(load.State, TSettingsLoad::Unreadable);
    EXPECT_EQ(load.Errno, EACCES);
    EXPECT_EQ(s, TSettings{});
    // A rename needs no read permission.
    fs::path keptAs;
    TFileError error;
    ASSERT_TRUE(KeepOldSettingsFile(file_, keptAs, error)) << error.Message;
    EXPECT_EQ(keptAs, dir_ / "Config.cfg.bak");
    EXPECT_FALSE(fs::exists(file_));
    ASSERT_TRUE(SaveSettingsFile(file_, s, error)) << error.Message;
  });
  fs::permissions(dir_ / "Config.cfg.bak", fs::perms::owner_read);
  EXPECT_EQ(Contents(dir_ / "Config.cfg.bak"), "old contents");
  EXPECT_EQ(Contents(file_), WriteSettings(TSettings{}));
}

TEST_F(SettingsFileOnDisk, EarlierCopiesAreKeptAndTheNextGetsANumber) {
  std::ofstream(dir_ / "Config.cfg.bak", std::ios::binary) << "first";
  std::ofstream(dir_ / "Config.cfg.bak.1", std::ios::binary) << "second";
  WriteOld();
  fs::path keptAs;
  TFileError error;
  ASSERT_TRUE(KeepOldSettingsFile(file_, keptAs, error)) << error.Message;
  EXPECT_EQ(keptAs, dir_ / "Config.cfg.bak.2");
  EXPECT_EQ(Contents(dir_ / "Config.cfg.bak"), "first");
  EXPECT_EQ(Contents(dir_ / "Config.cfg.bak.1"), "second");
  EXPECT_EQ(Contents(keptAs), "old contents");
  EXPECT_FALSE(fs::exists(file_));

  // Nothing to keep: no file, or a folder (which a save cannot replace anyway).
  ASSERT_TRUE(KeepOldSettingsFile(file_, keptAs, error));
  EXPECT_TRUE(keptAs.empty());
  fs::create_directory(file_);
  ASSERT_TRUE(KeepOldSettingsFile(file_, keptAs, error));
  EXPECT_TRUE(keptAs.empty());
  EXPECT_TRUE(fs::is_directory(file_));
}

TEST_F(SettingsFileOnDisk, OnlyTheSavesOwnLeftoverIsRemoved) {
  WriteOld();
  for (const char* name : {"Config.cfg.tmp", "Config.cfg.tmp123-0", "Config.cfg.bak", "notes.tmp"})
    std::ofstream(dir_ / name) << "x";
  RemoveLeftoverTemp(file_);
  EXPECT_FALSE(fs::exists(dir_ / "Config.cfg.tmp"));
  EXPECT_EQ(EntriesInDir(), 4u);
  EXPECT_EQ(Contents(file_), "old contents");
  // A folder of that name is not ours to remove.
  fs::create_directory(dir_ / "Config.cfg.tmp");
  RemoveLeftoverTemp(file_);
  EXPECT_TRUE(fs::is_directory(dir_ / "Config.cfg.tmp"));
}

}  // namespace
}  // namespace tk
