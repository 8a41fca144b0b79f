// tinokvak-scores: a reference score server for the game's online table.
//   tinokvak-scores [--listen ADDRESS] [--port N] [--db FILE] [--request-seconds N]
//                   [--per-address N] [--checker PATH --game-dir DIR] [--checks N]
//                   [--check-queue N] [--check-seconds N] [--play-dir DIR]
//                   [--download-dir DIR] [--site-url URL] [--config FILE]
// --checker names tinokvak-check (or tinokvak-sim, which answers alike) and --game-dir the
// game folder it plays replays on; with both, uploaded replays are checked (N at once, at most --check-queue waiting) and the
// results they confirm are marked verified. Without them replays are refused.
// --db takes an SQLite file or a postgresql:// URL; several servers may share one
// PostgreSQL database. Listens on loopback port 8642 by default, the address the game is
// built with. Port 0
// takes any free port; the line "listening on http://ADDRESS:PORT" tells which.
// --play-dir DIR serves the browser game's page from DIR under /play/; without it the
// page is looked for beside the build (../build-web/play) or the installation
// (../share/tinokvak/play) of this program.
// --download-dir DIR serves the release's packages from DIR under /download/; without it
// they are looked for in download/ beside the program in a build folder or in
// ../share/tinokvak/download when installed.
// --site-url URL is the site's public address (https://tinokvak.example), for the pages'
// absolute links (Open Graph, the sitemap); a build for a site has its address already.
// --config FILE reads the same settings from a file ("port = 8642", see ConfigFile.h);
// options given on the command line win over the file's.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <system_error>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ConfigFile.h"
#include "HttpServer.h"
#include "ScoreService.h"
#include "Site.h"
#include "PlayFiles.h"
#include "Downloads.h"
#include "SitePages.h"
#include "platform/Locations.h"
#include "platform/Program.h"

namespace {

constexpr const char* kUsage =
    "usage: tinokvak-scores [--listen ADDRESS] [--port N] [--db FILE]\n"
    "                       [--request-seconds N] [--per-address N]\n"
    "                       [--checker PATH --game-dir DIR] [--checks N] [--check-queue N]\n"
    "                       [--check-seconds N] [--play-dir DIR] [--download-dir DIR]\n"
    "                       [--site-url URL] [--config FILE]\n"
    "--config FILE reads the settings from FILE, one \"name = value\" a line, the names\n"
    "those of the options (port = 8642); the options given here win over the file's.\n"
    "The packaged service reads /etc/tinokvak-scores/scores.conf.\n";

struct TOptions {
  std::string Listen = "127.0.0.1";
  int Port = 8642;
  std::string Db = "tinokvak-scores.db";
  tk::scores::TServerLimits Limits;
  tk::scores::TCheckerOptions Checker;
  std::string PlayDir;
  std::string DownloadDir;
  std::string SiteUrl = TK_SITE_ADDRESS;
};

bool ParseCount(const std::string& v, long lo, long hi, int& out) {
  char* end = nullptr;
  const long n = std::strtol(v.c_str(), &end, 10);
  if (v.empty() || *end != '\0' || n < lo || n > hi) return false;
  out = static_cast<int>(n);
  return true;
}

// The settings the file may hold: every option that takes a value, except --config.
const std::set<std::string> kSettings = {"listen",  "port",     "db",     "request-seconds",
                                         "per-address", "checker", "game-dir", "checks",
                                         "check-queue", "check-seconds", "play-dir",
                                         "download-dir", "site-url"};

// Sets option NAME (without its dashes) from VALUE; false when the value is out of range
// or the name unknown.
bool ApplyOption(const std::string& name, const std::string& v, TOptions& o) {
  if (name == "listen") {
    o.Listen = v;
  } else if (name == "port") {
    return ParseCount(v, 0, 65535, o.Port);
  } else if (name == "request-seconds") {
    return ParseCount(v, 1, 3600, o.Limits.RequestSeconds);
  } else if (name == "per-address") {
    return ParseCount(v, 1, 100000, o.Limits.PerAddress);
  } else if (name == "checker") {
    o.Checker.Checker = v;
  } else if (name == "game-dir") {
    o.Checker.GameDir = v;
  } else if (name == "checks") {
    return ParseCount(v, 1, 64, o.Checker.AtOnce);
  } else if (name == "check-queue") {
    int n = 0;
    if (!ParseCount(v, 1, 100000, n)) return false;
    o.Checker.QueueCap = static_cast<size_t>(n);
  } else if (name == "check-seconds") {
    return ParseCount(v, 1, 600, o.Checker.Seconds);
  } else if (name == "db") {
    o.Db = v;
  } else if (name == "play-dir") {
    o.PlayDir = v;
  } else if (name == "download-dir") {
    o.DownloadDir = v;
  } else if (name == "site-url") {
    // Empty turns a built-in address off.
    if (!v.empty() && tk::scores::NormalSiteAddress(v).empty()) return false;
    o.SiteUrl = v;
  } else {
    return false;
  }
  return true;
}

// False with the usage to print; throws TConfigError for a bad configuration file or
// settings that do not fit together.
bool ParseArgs(int argc, char** argv, TOptions& o) {
  std::vector<std::pair<std::string, std::string>> given;
  std::string config;
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
    if (i + 1 >= argc || a.rfind("--", 0) != 0) return false;
    const std::string v = argv[++i];
    if (a == "--config") {
      config = v;
    } else {
      given.emplace_back(a.substr(2), v);
    }
  }
  // The file first, so that the command line wins.
  if (!config.empty()) {
    for (const tk::scores::TConfigSetting& s : tk::scores::ReadConfigFile(config, kSettings)) {
      if (!ApplyOption(s.Name, s.Value, o))
        throw tk::scores::TConfigError(config + ":" + std::to_string(s.Line) + ": bad value \"" +
                                       s.Value + "\" for " + s.Name);
    }
  }
  for (const auto& [name, value] : given)
    if (!kSettings.count(name) || !ApplyOption(name, value, o)) return false;
  // Both or neither: a checker without the game's data could verify nothing.
  if (o.Checker.Checker.empty() != o.Checker.GameDir.empty())
    throw tk::scores::TConfigError("checker and game-dir go together: give both or neither");
  if (!o.PlayDir.empty()) {
    std::error_code ec;
    if (!std::filesystem::is_directory(o.PlayDir, ec))
      throw tk::scores::TConfigError("play-dir " + o.PlayDir + ": not a folder");
  }
  if (!o.DownloadDir.empty()) {
    std::error_code ec;
    if (!std::filesystem::is_directory(o.DownloadDir, ec))
      throw tk::scores::TConfigError("download-dir " + o.DownloadDir + ": not a folder");
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  TOptions o;
  try {
    if (!ParseArgs(argc, argv, o)) {
      std::fputs(kUsage, stderr);
      return 1;
    }
  } catch (const tk::scores::TConfigError& e) {
    std::fprintf(stderr, "tinokvak-scores: %s\n", e.what());
    return 1;
  }
  try {
    // Connections for the request workers, one for each upload worker and each check.
    const int connections = o.Limits.DbConnections + o.Limits.UploadWorkers +
                            (o.Checker.Checker.empty() ? 0 : o.Checker.AtOnce);
    const std::unique_ptr<tk::scores::TScoreStore> store =
        tk::scores::OpenScoreStore(o.Db, connections);
    tk::scores::TScoreService service(*store);
    // Declared after the service so that its threads stop before the service goes.
    std::unique_ptr<tk::scores::TReplayChecker> checker;
    if (!o.Checker.Checker.empty()) {
      checker = std::make_unique<tk::scores::TReplayChecker>(o.Checker);
      service.SetChecker(checker.get());
    }
    // The game's page: the folder given, or the one beside the build or the installation.
    // Said once, on the error stream (the first line out is the address).
    std::filesystem::path playDir = o.PlayDir;
    if (playDir.empty()) {
      std::vector<std::filesystem::path> tried;
      if (auto found = tk::scores::FindPlayDir(tk::ExecutableDir(), tried)) {
        playDir = *found;
      } else {
        std::string where;
        for (const auto& t : tried) where += (where.empty() ? "" : ", ") + t.string();
        std::fprintf(stderr, "tinokvak-scores: no game page found (looked in %s); /play/ answers 404\n",
                     where.empty() ? "no folder: the program's own is unknown" : where.c_str());
      }
    }
    const tk::scores::TPlayFiles play(playDir);
    if (!playDir.empty())
      std::fprintf(stderr, "tinokvak-scores: serving the game page from %s under /play/\n",
                   play.Root().c_str());
    // The release's packages, likewise.
    std::filesystem::path downloadDir = o.DownloadDir;
    if (downloadDir.empty()) {
      std::vector<std::filesystem::path> tried;
      if (auto found = tk::scores::FindDownloadDir(tk::ExecutableDir(), tried)) downloadDir = *found;
      else {
        std::string where;
        for (const auto& t : tried) where += (where.empty() ? "" : ", ") + t.string();
        std::fprintf(stderr, "tinokvak-scores: no download folder found (looked in %s); /download/ lists nothing\n",
                     where.empty() ? "no folder: the program's own is unknown" : where.c_str());
      }
    }
    const tk::scores::TDownloads downloads(downloadDir);
    if (!downloads.Root().empty())
      std::fprintf(stderr, "tinokvak-scores: serving the packages in %s under /download/\n",
                   downloads.Root().c_str());
    tk::scores::TSite site = tk::scores::MakeSite(tk::scores::EmbeddedSite(), o.SiteUrl);
    site.Play = &play;
    site.Downloads = &downloads;
    service.SetSiteAddress(site.Address);
    // The page's files read and compressed, and the packages' digests computed, while the
    // server starts listening.
    std::atomic<bool> stopPreparing{false};
    std::thread preparing([&] {
      downloads.Prepare(&stopPreparing);
      play.Prepare(&stopPreparing);
    });
    const int status = tk::scores::Serve(service, o.Listen, o.Port, o.Limits, &site);
    stopPreparing = true;
    preparing.join();
    return status;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tinokvak-scores: %s\n", e.what());
    return 1;
  }
}
