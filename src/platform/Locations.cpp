#include "platform/Locations.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>

#include "platform/Cp1251.h"

namespace fs = std::filesystem;

namespace tk {

namespace {

constexpr const char* kSettingsName = "Config.cfg";

// The folder's entry of that name, matched ignoring case as every game file is.
fs::path EntryIgnoringCase(const fs::path& dir, const std::string& name) {
  std::error_code ec;
  if (fs::exists(dir / name, ec)) return dir / name;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string entry = it->path().filename().string();
    if (SameTextCp1251(LowerCp1251(entry), LowerCp1251(name))) return dir / entry;
  }
  return dir / name;
}

bool HasDataFolder(const fs::path& dir) {
  std::error_code ec;
  return fs::is_directory(EntryIgnoringCase(dir, "Data"), ec);
}

}  // namespace

fs::path ExecutableDir() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  return exe.parent_path();
}

std::optional<fs::path> FindGameFolder(const fs::path& exeDir) {
  if (exeDir.empty()) return std::nullopt;
  if (HasDataFolder(exeDir)) return exeDir;
  const fs::path installed = (exeDir / ".." / "share" / "games" / "tinokvak").lexically_normal();
  if (HasDataFolder(installed)) return installed;
  return std::nullopt;
}

SettingsLocation ChooseSettingsFile(const fs::path& gameDir, bool gameDirKeepsFiles,
                                    const char* xdgDataHome, const char* home) {
  const fs::path inGame = EntryIgnoringCase(gameDir, kSettingsName);
  if (gameDirKeepsFiles) return {inGame, false, {}};
  // Only an absolute $XDG_DATA_HOME counts; a relative or empty one is ignored.
  fs::path base;
  if (xdgDataHome && xdgDataHome[0] == '/') {
    base = xdgDataHome;
  } else {
    std::string h = home ? home : "";
    if (h.empty()) {
      if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) h = pw->pw_dir;
    }
    base = fs::path(h) / ".local" / "share";
  }
  std::error_code ec;
  return {base / "tinokvak" / kSettingsName, true,
          fs::is_regular_file(inGame, ec) ? inGame : fs::path()};
}

bool GameFolderKeepsPlayerFiles(const fs::path& gameDir, const fs::path& exeDir) {
  std::error_code ec;
  // A program not found beside a game folder (exeDir unknown, or neither layout) runs in
  // the folder it was started in, which then keeps its files when it can.
  const bool portable = exeDir.empty() || !FindGameFolder(exeDir) ||
                        fs::equivalent(gameDir, exeDir, ec);
  return portable && ::access(gameDir.c_str(), W_OK) == 0;
}

SettingsLocation ChooseSettingsFile(const fs::path& gameDir, const fs::path& exeDir) {
  return ChooseSettingsFile(gameDir, GameFolderKeepsPlayerFiles(gameDir, exeDir),
                            std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
}

bool PrepareSettingsFile(const SettingsLocation& where, std::string& error) {
  if (!where.PerUser) return true;
  std::error_code ec;
  const fs::path dir = where.File.parent_path();
  fs::create_directories(dir, ec);
  if (ec) {
    error = "Cannot create folder \"" + dir.string() + "\". " + ec.message();
    return false;
  }
  if (where.Seed.empty() || fs::exists(where.File, ec)) return true;
  // Copied under another name first, so a failed copy never passes for the player's file.
  const fs::path part = dir / (std::string(kSettingsName) + ".first");
  fs::copy_file(where.Seed, part, fs::copy_options::overwrite_existing, ec);
  if (!ec) fs::rename(part, where.File, ec);
  if (ec) {
    std::error_code ignored;
    fs::remove(part, ignored);
    error = "Cannot copy \"" + where.Seed.string() + "\" to \"" + where.File.string() + "\". " +
            ec.message();
    return false;
  }
  return true;
}

}  // namespace tk
