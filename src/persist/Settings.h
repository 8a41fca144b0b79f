// What the game remembers between runs: the display and audio settings, the player's two
// texts and the local high-score table, and their file "Config.cfg" (25 encoded lines).
// Plain data in and out: the caller resolves the file name, reads the bytes and applies
// the result to the main window.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace tk {

struct THighScoreRow {
  std::string Name;  // Windows-1251
  int32_t Score = 0;
  bool operator==(const THighScoreRow&) const = default;
};

inline constexpr int HighScoreRows = 10;
// Row 0 is the best; recording keeps the rows in descending order.
using THighScoreTable = std::array<THighScoreRow, HighScoreRows>;

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

// Admission of a finished game to the table.
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
// as empty. A score line that is not a decimal integer stops the reading: the rows read so
// far keep their new values, the rest keep theirs, and `error` receives
// "'<text>' is not a valid integer value". Returns whether the whole file was read.
bool ReadSettings(std::string_view fileBytes, TSettings& settings, std::string& error);

// The file's bytes: 25 encoded lines, each ended by CR LF.
std::string WriteSettings(const TSettings& settings);

// Replaces the file at `path` by the settings through a temporary file beside it, flushed to
// disk and renamed over it, so an interrupted or failed write leaves the old file whole.
// On failure returns false with `error` = "I/O error <system error number>".
bool SaveSettingsFile(const std::filesystem::path& path, const TSettings& settings,
                      std::string& error);

}  // namespace tk
