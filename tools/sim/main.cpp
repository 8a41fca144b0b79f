#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>

#include "Sim.h"
#include "platform/Locations.h"
#include "platform/Program.h"

namespace {

constexpr const char* kUsage =
    "usage: tinokvak-sim [--seed N] [--dir GAMEDIR] [--server URL] [--audio FILE.wav]"
    " [--record FILE] SCRIPT\n"
    "       tinokvak-sim --replay FILE [--check | --verify | --shot FILE.png|.ppm] [--dir GAMEDIR]\n"
    "       tinokvak-sim --soak TICKS [--seed N] [--dir GAMEDIR] [--shots DIR]"
    " [--shot-size WxH] [--audio FILE.wav] [--trace FILE]\n";

}  // namespace

int main(int argc, char** argv) {
  if (tk::AnswersHelpOrVersion(argc, argv, "tinokvak-sim", kUsage)) return 0;
  tk::sim::SimOptions o;
  o.GameDir = TK_DEFAULT_GAME_DIR;
  // An installed copy plays the installed game folder.
  if (auto found = tk::FindGameFolder(tk::ExecutableDir())) o.GameDir = *found;
  std::string script, shotDir, replayFile, finalShot;
  bool check = false, verify = false;
  uint64_t soakTicks = 0;
  int shotWidth = 0, shotHeight = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) {
        std::cerr << "missing value after " << a << "\n";
        std::exit(1);
      }
      return argv[++i];
    };
    if (a == "--seed") {
      o.Seed = static_cast<uint32_t>(std::stoul(value()));
    } else if (a == "--dir") {
      o.GameDir = value();
    } else if (a == "--soak") {
      soakTicks = std::stoull(value());
    } else if (a == "--shots") {
      shotDir = value();
    } else if (a == "--shot-size") {
      const std::string v = value();
      if (std::sscanf(v.c_str(), "%dx%d", &shotWidth, &shotHeight) != 2 || shotWidth <= 0 ||
          shotHeight <= 0) {
        std::cerr << "--shot-size WIDTHxHEIGHT\n";
        return 1;
      }
    } else if (a == "--audio") {
      o.AudioFile = std::filesystem::absolute(value()).string();
    } else if (a == "--trace") {
      o.TraceFile = std::filesystem::absolute(value()).string();
    } else if (a == "--record") {
      o.RecordFile = value();
    } else if (a == "--replay") {
      replayFile = value();
    } else if (a == "--shot") {
      finalShot = std::filesystem::absolute(value()).string();
    } else if (a == "--check") {
      check = true;
    } else if (a == "--verify") {
      verify = true;
    } else if (a == "--server") {
      o.Server = value();
    } else if (script.empty() && (a == "-" || a.rfind("-", 0) != 0)) {
      script = a;
    } else {
      std::cerr << kUsage;
      return 1;
    }
  }
  if ((script.empty() && soakTicks == 0 && replayFile.empty()) ||
      ((check || verify || !finalShot.empty()) && replayFile.empty()) ||
      (!finalShot.empty() && (check || verify))) {
    std::cerr << kUsage;
    return 1;
  }
  try {
    if (o.GameDir.is_relative()) o.GameDir = std::filesystem::absolute(o.GameDir);
    if (!replayFile.empty()) {
      // Nothing to hear or keep when only the outcome is checked.
      o.RecordSounds = !check && !verify;
      o.ShareData = true;
      const std::string file = std::filesystem::absolute(replayFile).string();
      tk::sim::Simulator sim(o, std::cout);
      const int status = sim.Replay(file, check, verify);
      // The picture the game shows at the replay's end (a check draws nothing).
      if (status == 0 && !finalShot.empty())
        sim.Execute("shot " + finalShot);
      return status;
    }
    if (soakTicks > 0) {
      o.RecordSounds = false;
      tk::sim::Simulator sim(o, std::cout);
      return sim.Soak(soakTicks, o.Seed, shotDir, shotWidth, shotHeight);
    }
    // The run moves into its copy of the game folder: name the script from here first.
    if (script != "-") script = std::filesystem::absolute(script).string();
    tk::sim::Simulator sim(o, std::cout);
    if (script == "-") return sim.Run(std::cin);
    std::ifstream in(script);
    if (!in) {
      std::cerr << "cannot read " << script << "\n";
      return 1;
    }
    return sim.Run(in);
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n";
    return 1;
  }
}
