// Where the game's folders are: the data folder found from the running program, so an
// installed copy can be moved to another prefix, and the settings file of the player.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace tk {

// The folder holding the running program (from /proc/self/exe); empty when unknown.
std::filesystem::path ExecutableDir();

// The game folder for a program in exeDir: exeDir itself when it holds Data/ (the portable
// layout of the build), else the installed layout's ../share/games/tinokvak.
std::optional<std::filesystem::path> FindGameFolder(const std::filesystem::path& exeDir);

struct SettingsLocation {
  std::filesystem::path File;  // the Config.cfg the game reads and writes
  // The file is the player's own, outside a game folder the game cannot write to.
  bool PerUser = false;
  // That read-only game folder's Config.cfg, the starting point of the player's first
  // file; empty when there is none.
  std::filesystem::path Seed;
};

// A game folder that keeps the player's files keeps Config.cfg; otherwise the player's
// copy lives in $XDG_DATA_HOME/tinokvak/ (default ~/.local/share/tinokvak/). Reads only.
SettingsLocation ChooseSettingsFile(const std::filesystem::path& gameDir, bool gameDirKeepsFiles,
                                    const char* xdgDataHome, const char* home);
// Whether the game folder keeps its own Config.cfg and Replays/: only the portable layout
// (the folder is the program's own, exeDir) and only when it is writable. An installed
// tree never does, whoever runs the game, root included.
bool GameFolderKeepsPlayerFiles(const std::filesystem::path& gameDir,
                                const std::filesystem::path& exeDir);
// The same from the environment; exeDir is the running program's folder.
SettingsLocation ChooseSettingsFile(const std::filesystem::path& gameDir,
                                    const std::filesystem::path& exeDir);

// Creates the player's folder and, on a first start, copies the seed there. Returns false
// with a message when that fails; the game then runs on its defaults.
bool PrepareSettingsFile(const SettingsLocation& where, std::string& error);

}  // namespace tk
