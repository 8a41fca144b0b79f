// tinokvak-check --replay FILE (--check | --verify) [--dir GAMEDIR]: a recorded game played
// back on the game's data without drawing, mixing, measuring fonts or connecting, printing
// and answering exactly as tinokvak-sim does for the same options. The score server runs it
// for every uploaded replay.
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>

#include "Sim.h"
#include "platform/Locations.h"
#include "platform/Program.h"
#include "platform/TableText.h"
#include "shell/Replay.h"

namespace tk::check {
std::string_view BuiltInGlyphTables();  // CheckGlyphs.cpp, made at build time
}  // namespace tk::check

namespace {

constexpr const char* kUsage =
    "usage: tinokvak-check --replay FILE (--check | --verify) [--dir GAMEDIR]\n";

}  // namespace

int main(int argc, char** argv) {
  if (tk::AnswersHelpOrVersion(argc, argv, "tinokvak-check", kUsage)) return 0;
  tk::sim::SimOptions o;
  o.GameDir = TK_DEFAULT_GAME_DIR;
  // An installed copy checks on the installed game folder.
  if (auto found = tk::FindGameFolder(tk::ExecutableDir())) o.GameDir = *found;
  std::string replayFile;
  bool check = false, verify = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (a == "--replay" && hasValue) {
      replayFile = argv[++i];
    } else if (a == "--dir" && hasValue) {
      o.GameDir = argv[++i];
    } else if (a == "--check") {
      check = true;
    } else if (a == "--verify") {
      verify = true;
    } else {
      std::cerr << kUsage;
      return 1;
    }
  }
  if (replayFile.empty() || (!check && !verify)) {
    std::cerr << kUsage;
    return 1;
  }
  try {
    if (o.GameDir.is_relative()) o.GameDir = std::filesystem::absolute(o.GameDir);
    o.RecordSounds = false;
    o.ShareData = true;
    // One process per upload: the archives' hash is kept from one check to the next (beside
    // the score server's own state, whose HOME its service sets).
    tk::UseGameDataHashCache(tk::DefaultGameDataHashCache());
    const std::string file = std::filesystem::absolute(replayFile).string();
    tk::sim::Simulator sim(
        o, std::cout, nullptr,
        tk::platform::MakeTableTextRenderer(
            tk::platform::ParseGlyphTables(tk::check::BuiltInGlyphTables())));
    return sim.Replay(file, check, verify);
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n";
    return 1;
  }
}
