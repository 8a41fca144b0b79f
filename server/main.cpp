// tinokvak-scores: a reference score server for the game's online table.
//   tinokvak-scores [--listen ADDRESS] [--port N] [--db FILE] [--request-seconds N]
//                   [--per-address N] [--checker PATH --game-dir DIR] [--checks N]
//                   [--check-queue N] [--check-seconds N]
// --checker names tinokvak-sim and --game-dir the game folder it plays replays on; with
// both, uploaded replays are checked (N at once, at most --check-queue waiting) and the
// results they confirm are marked verified. Without them replays are refused.
// --db takes an SQLite file or a postgresql:// URL; several servers may share one
// PostgreSQL database. Listens on loopback port 8642 by default, the address the game is
// built with. Port 0
// takes any free port; the line "listening on http://ADDRESS:PORT" tells which.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>

#include "HttpServer.h"
#include "ScoreService.h"
#include "Site.h"
#include "platform/Program.h"

namespace {

constexpr const char* kUsage =
    "usage: tinokvak-scores [--listen ADDRESS] [--port N] [--db FILE]\n"
    "                       [--request-seconds N] [--per-address N]\n"
    "                       [--checker PATH --game-dir DIR] [--checks N] [--check-queue N]\n"
    "                       [--check-seconds N]\n";

struct TOptions {
  std::string Listen = "127.0.0.1";
  int Port = 8642;
  std::string Db = "tinokvak-scores.db";
  tk::scores::TServerLimits Limits;
  tk::scores::TCheckerOptions Checker;
};

bool ParseCount(const std::string& v, long lo, long hi, int& out) {
  char* end = nullptr;
  const long n = std::strtol(v.c_str(), &end, 10);
  if (v.empty() || *end != '\0' || n < lo || n > hi) return false;
  out = static_cast<int>(n);
  return true;
}

bool ParseArgs(int argc, char** argv, TOptions& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      std::exit(0);
    }
    if (a == "--version") {
      std::printf("tinokvak-scores %s\n", tk::GameVersion());
      std::exit(0);
    }
    if (i + 1 >= argc) return false;
    const std::string v = argv[++i];
    if (a == "--listen") {
      o.Listen = v;
    } else if (a == "--port") {
      if (!ParseCount(v, 0, 65535, o.Port)) return false;
    } else if (a == "--request-seconds") {
      if (!ParseCount(v, 1, 3600, o.Limits.RequestSeconds)) return false;
    } else if (a == "--per-address") {
      if (!ParseCount(v, 1, 100000, o.Limits.PerAddress)) return false;
    } else if (a == "--checker") {
      o.Checker.Checker = v;
    } else if (a == "--game-dir") {
      o.Checker.GameDir = v;
    } else if (a == "--checks") {
      if (!ParseCount(v, 1, 64, o.Checker.AtOnce)) return false;
    } else if (a == "--check-queue") {
      int n = 0;
      if (!ParseCount(v, 1, 100000, n)) return false;
      o.Checker.QueueCap = static_cast<size_t>(n);
    } else if (a == "--check-seconds") {
      if (!ParseCount(v, 1, 600, o.Checker.Seconds)) return false;
    } else if (a == "--db") {
      o.Db = v;
    } else {
      return false;
    }
  }
  // Both or neither: a checker without the game's data could verify nothing.
  return o.Checker.Checker.empty() == o.Checker.GameDir.empty();
}

}  // namespace

int main(int argc, char** argv) {
  TOptions o;
  if (!ParseArgs(argc, argv, o)) {
    std::fputs(kUsage, stderr);
    return 1;
  }
  try {
    const std::unique_ptr<tk::scores::TScoreStore> store = tk::scores::OpenScoreStore(o.Db);
    tk::scores::TScoreService service(*store);
    // Declared after the service so that its threads stop before the service goes.
    std::unique_ptr<tk::scores::TReplayChecker> checker;
    if (!o.Checker.Checker.empty()) {
      checker = std::make_unique<tk::scores::TReplayChecker>(o.Checker);
      service.SetChecker(checker.get());
    }
    return tk::scores::Serve(service, o.Listen, o.Port, o.Limits, &tk::scores::BuiltInSite());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tinokvak-scores: %s\n", e.what());
    return 1;
  }
}
