// The Replays/ folder: every finished game is written there under a name made of the date,
// time and score, and the folder keeps the newest games plus every game whose result went
// into the high-score table. Other files in the folder are never touched.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace tk::replay {

constexpr size_t KeepNewest = 50;
constexpr const char* ReplayExtension = ".tkr";

// "2026-12-10_13-45-02_1234.tkr", or "..._1234_table.tkr" for a game that entered the table.
std::string ReplayFileName(const std::tm& when, int32_t score, bool enteredTable);

// Whether a name is one of ours, and whether it marks a game that entered the table.
bool IsReplayFileName(const std::string& name, bool* enteredTable = nullptr);

struct TStoreResult {
  bool Ok = false;
  std::filesystem::path Path;  // the file written
  std::string Error;           // why not, for one line on stderr
};

// Creates the folder when needed, writes through a temporary file and a rename (so a full
// disk never leaves half a replay under a replay's name), then applies the keep rule.
TStoreResult StoreReplay(const std::filesystem::path& folder, const std::string& bytes,
                         const std::tm& when, int32_t score, bool enteredTable,
                         size_t keepNewest = KeepNewest);

// Deletes our replays beyond the newest keepNewest, except those that entered the table.
// Returns the names deleted.
std::vector<std::string> TrimReplays(const std::filesystem::path& folder,
                                     size_t keepNewest = KeepNewest);

}  // namespace tk::replay
