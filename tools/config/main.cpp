// tinokvak-config: the five-bit codec and the settings file from the command line.
//   tinokvak-config encode HEX       the symbols of the bytes given in hex
//   tinokvak-config decode SYMBOLS   the decoded bytes as lower-case hex
//   tinokvak-config show FILE        the settings file as the game reads it, as JSON
//   tinokvak-config show             the same for the file the game would use
#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "protocol/Codec.h"
#include "persist/Settings.h"
#include "platform/Cp1251.h"
#include "platform/Locations.h"
#include "platform/Program.h"

namespace {

constexpr const char* kUsage =
    "usage: tinokvak-config encode HEX | decode SYMBOLS | show [FILE]\n";

int Fail(const std::string& message) {
  std::cerr << message << "\n";
  return 1;
}

std::optional<std::string> FromHex(std::string_view hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  const auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string bytes;
  for (size_t i = 0; i < hex.size(); i += 2) {
    const int hi = digit(hex[i]), lo = digit(hex[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    bytes += static_cast<char>(hi * 16 + lo);
  }
  return bytes;
}

std::string ToHex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (char ch : bytes) {
    const auto b = static_cast<unsigned char>(ch);
    hex += kDigits[b >> 4];
    hex += kDigits[b & 15];
  }
  return hex;
}

int Show(const std::string& name, bool sayWhich = false) {
  tk::TSettings settings;
  // A missing file reads as the defaults, as it does for the game.
  const tk::TSettingsLoad load = tk::LoadSettingsFile(name, settings);
  if (load.State == tk::TSettingsLoad::Unreadable)
    return Fail("Cannot open file \"" + name + "\". " + load.Problems.front());

  nlohmann::ordered_json out;
  out["fullScreen"] = settings.GameFullScreen;
  out["music"] = settings.GameMusic;
  out["sound"] = settings.GameSound;
  out["country"] = tk::Cp1251ToUtf8(settings.PlayerCountry);
  out["name"] = tk::Cp1251ToUtf8(settings.PlayerName);
  out["highScores"] = nlohmann::ordered_json::array();
  for (const auto& row : settings.HighScores)
    out["highScores"].push_back({{"name", tk::Cp1251ToUtf8(row.Name)}, {"score", row.Score}});
  // A damaged file shows what the game makes of it; what it skipped goes to stderr.
  if (!load.Problems.empty()) {
    out["skipped"] = nlohmann::ordered_json::array();
    for (const auto& p : load.Problems) {
      out["skipped"].push_back(tk::Cp1251ToUtf8(p));
      std::cerr << name << ": " << tk::Cp1251ToUtf8(p) << "\n";
    }
  }
  if (sayWhich) out["file"] = name;
  std::cout << out.dump() << "\n";
  return 0;
}

// The file the game would read: its own folder's beside an installed copy of this tool,
// else the build's game folder; a player's file not made yet reads as its first-start copy.
int ShowGameFile() {
  std::filesystem::path folder = TK_DEFAULT_GAME_DIR, gameExeDir = folder;
  if (auto found = tk::FindGameFolder(tk::ExecutableDir())) {
    folder = *found;
    gameExeDir = tk::ExecutableDir();  // installed beside the game: the same layout as it
  }
  const tk::SettingsLocation where = tk::ChooseSettingsFile(folder, gameExeDir);
  std::error_code ec;
  if (where.PerUser && !std::filesystem::exists(where.File, ec) && !where.Seed.empty())
    return Show(where.Seed.string(), true);
  return Show(where.File.string(), true);
}

}  // namespace

int main(int argc, char** argv) {
  if (tk::AnswersHelpOrVersion(argc, argv, "tinokvak-config", kUsage)) return 0;
  if (argc == 2 && std::string(argv[1]) == "show") return ShowGameFile();
  if (argc != 3) {
    std::cerr << kUsage;
    return 1;
  }
  const std::string command = argv[1], arg = argv[2];
  if (command == "encode") {
    const std::optional<std::string> bytes = FromHex(arg);
    if (!bytes) return Fail("'" + arg + "' is not a hexadecimal byte string");
    std::cout << tk::EncodeText(*bytes) << "\n";
    return 0;
  }
  if (command == "decode") {
    std::cout << ToHex(tk::DecodeText(arg)) << "\n";
    return 0;
  }
  if (command == "show") return Show(arg);
  std::cerr << kUsage;
  return 1;
}
