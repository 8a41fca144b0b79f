// The game's side of what it remembers and what it sends: Config.cfg and the high-score
// table on the main window, the name entry at game over and the online score submission.
#pragma once

#include <filesystem>
#include <string>

#include "shell/MainForm.h"

namespace tk::online {

// Fills the hooks LoadSettings, SaveSettings and ResetHighScores, the game-over scene's row
// of the table (online/GameOver.h) and the replay start's typed name. Registered after
// menus::Register, whose text fields the name entry and the settings use.
void Register(TMainForm& form);

// Hands over a finished game's replay: it is sent with the token of that game's result
// once the server has taken the result (at once when it already has), and dropped when
// it does not. The token is used up either way. A failed upload writes one line on stderr.
void UploadReplay(TMainForm& form, const std::string& replayBytes);

// The settings file the game reads and writes; what else the game keeps for the player
// (its Replays/ folder) lives beside it.
std::filesystem::path SettingsFilePath(const TMainForm& form);

}  // namespace tk::online
