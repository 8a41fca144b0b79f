// What the game remembers between runs: the display and audio settings, the player's two
// texts and the local high-score table, and their file "Config.cfg" (25 encoded lines).
// The caller resolves the file's path (it need not be in the current folder) and applies
// the result to the main window.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/HighScores.h"

namespace tk {

// Ten rows named "Ваня": 3000, 2500, 2000, 1500, 1000, 500, 400, 300, 200, 100.
THighScoreTable DefaultHighScores();

// Starts with the values the game has before the file is read.
struct TSettings {
  bool GameFullScreen = false;
  bool GameMusic = true;
  bool GameSound = true;
  std::string PlayerCountry;  // Windows-1251, unpadded
  std::string PlayerName;
  THighScoreTable HighScores = DefaultHighScores();
  bool operator==(const TSettings&) const = default;
};

// Admission of a finished game to the table: the one rule every scene asks.
int32_t LowestHighScore(const THighScoreTable& table);
// Name entry opens from a score equal to the tenth row on...
bool NameEntryOpens(const THighScoreTable& table, int32_t score);
// ...but only a score above it is recorded.
bool ResultIsRecorded(const THighScoreTable& table, int32_t score);
// The row a recorded score takes: the first row, from row 0, whose score it reaches (an equal
// score counts as beaten); row 9 when it beats none of rows 0 to 8.
int HighScoreRank(const THighScoreTable& table, int32_t score);
// Moves the rows from the rank down one place (the tenth row drops out) and writes the
// result at the rank, which it returns; a score that is not recorded changes nothing and
// gives -1.
int RecordHighScore(THighScoreTable& table, std::string_view name, int32_t score);

// Reads a settings file's bytes over `settings`, which holds the start values. Lines end at
// LF (a CR before it is ignored like any character outside the alphabet); missing lines read
// as empty. A score line that is not a decimal integer leaves that row's score as it was
// (its name still read) and the reading goes on; the table is then put back in descending
// order, rows with equal scores keeping theirs. Lines missing from a file cut short, and an
// unfinished last line, read as empty lines; encoded text after line 25 is not used.
// Returns what could not be used, one message per problem in file order, such as
// "line 11: '89x0' is not a valid integer value"; empty when the whole file was read.
std::vector<std::string> ReadSettingsLines(std::string_view fileBytes, TSettings& settings);
// The same, with the problems joined by "; " into `error`; returns whether the whole file
// was read.
bool ReadSettings(std::string_view fileBytes, TSettings& settings, std::string& error);

// The file's bytes: 25 encoded lines, each ended by CR LF.
std::string WriteSettings(const TSettings& settings);

// A failed file operation: the system's error number and "<file>: <the system's words>".
struct TFileError {
  int Errno = 0;
  std::string Message;
};

// What became of reading the file at `path` into `settings`.
struct TSettingsLoad {
  enum TState { Missing, Whole, Partial, Unreadable } State = Missing;
  // Unreadable: the system's words; Partial: what was skipped, as ReadSettingsLines says
  // (the texts quoted from the file are Windows-1251). Empty otherwise.
  std::vector<std::string> Problems;
  int Errno = 0;  // Unreadable: the system's error number
  // A file that was not read in full must be kept before it is replaced.
  bool MustKeep() const { return State == Partial || State == Unreadable; }
};
// A missing file leaves `settings` as it is; an unreadable one too.
TSettingsLoad LoadSettingsFile(const std::filesystem::path& path, TSettings& settings);

// The one temporary file a save writes beside the settings file: "<path>.tmp".
std::filesystem::path SettingsTempPath(const std::filesystem::path& path);
// Removes a temporary file left by a save that was killed; nothing else is touched.
void RemoveLeftoverTemp(const std::filesystem::path& path);

// Renames the file at `path` to "<path>.bak", or "<path>.bak.1", ".bak.2", ... when that name
// is taken (an earlier copy is never replaced), so a file that was not read in full survives
// the next save. `keptAs` receives the new name; it stays empty when there is no file (or
// only a folder) to keep. A rename needs no permission to read the file.
bool KeepOldSettingsFile(const std::filesystem::path& path, std::filesystem::path& keptAs,
                         TFileError& error);

// Replaces the file at `path` by the settings through the temporary file beside it, flushed
// to disk and renamed over it, so an interrupted or failed write leaves the old file whole.
bool SaveSettingsFile(const std::filesystem::path& path, const TSettings& settings,
                      TFileError& error);

}  // namespace tk
