// tinokvak-scores: a reference score server for the game's online table.
//   tinokvak-scores [--listen ADDRESS] [--port N] [--db FILE] [--request-seconds N]
//                   [--per-address N]
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

namespace {

constexpr const char* kUsage =
    "usage: tinokvak-scores [--listen ADDRESS] [--port N] [--db FILE]\n"
    "                       [--request-seconds N] [--per-address N]\n";

struct TOptions {
  std::string Listen = "127.0.0.1";
  int Port = 8642;
  std::string Db = "tinokvak-scores.db";
  tk::scores::TServerLimits Limits;
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
    } else if (a == "--db") {
      o.Db = v;
    } else {
      return false;
    }
  }
  return true;
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
    return tk::scores::Serve(service, o.Listen, o.Port, o.Limits, &tk::scores::BuiltInSite());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tinokvak-scores: %s\n", e.what());
    return 1;
  }
}
