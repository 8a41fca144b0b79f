// A game ends with a result good enough for the table; the name goes to tinokvak-scores
// running on loopback, and, with the server gone, stays in the local table all the same.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>

#include "SimRun.h"
#include "persist/Settings.h"
#include "platform/Cp1251.h"
#include "platform/Http.h"

namespace tk::e2e {
namespace {

namespace fs = std::filesystem;

// tinokvak-scores on a free loopback port with its own database, stopped at the end.
class ScoreServer {
 public:
  explicit ScoreServer(fs::path db) : db_(std::move(db)) {
    int out[2];
    if (pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], STDOUT_FILENO);
      close(out[0]);
      close(out[1]);
      execl(TK_SCORES, TK_SCORES, "--port", "0", "--db", db_.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(out[1]);
    // The first line tells the address: "listening on http://127.0.0.1:PORT".
    std::string line;
    char c;
    while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
    close(out[0]);
    const std::string prefix = "listening on ";
    if (line.rfind(prefix, 0) == 0) url_ = line.substr(prefix.size());
  }
  ~ScoreServer() { Stop(); }
  const std::string& Url() const { return url_; }
  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int st = 0;
    waitpid(pid_, &st, 0);
    stopped_cleanly_ = WIFEXITED(st) && WEXITSTATUS(st) == 0;
    pid_ = -1;
  }
  bool StoppedCleanly() const { return stopped_cleanly_; }

 private:
  fs::path db_;
  pid_t pid_ = -1;
  std::string url_;
  bool stopped_cleanly_ = false;
};

// A copy of the game folder whose table ends below zero, so a game that scores nothing
// still earns the first row.
struct LoweredGame {
  LoweredGame() {
    fs::remove_all(dir);
    fs::copy(TK_GAME_DIR, dir, fs::copy_options::recursive);
    TSettings s;
    s.PlayerCountry = Cp("Россия");
    for (int k = 0; k < HighScoreRows; ++k) s.HighScores[k] = {Cp("Ваня"), -10 * (k + 1)};
    std::ofstream(dir / "Config.cfg", std::ios::binary) << WriteSettings(s);
  }
  ~LoweredGame() { fs::remove_all(dir); }
  fs::path dir = TempFile("lowered-game");
};

// Start a game, end it through the exit prompt's Yes, wait out the banner, type the name,
// tick the send box and press Enter.
const std::string PlayAndEnterName =
    "wait 4100\n"
    "key Enter\nticks 3\n"
    "key Esc\nticks 2\nclick 330 322\nticks 2\n"
    "state\n"
    "wait 5100\n"
    "type Петя\nclick 264 386\nticks 2\n"
    "state\n"
    "key Enter\nticks 2\n"
    "state\n";

std::string Show(const std::string& url) {
  auto http = platform::MakeCurlHttpClient();
  const auto r = http->Get(url + "/cgi/version.pl?prg=Pondlark&type=0&show");
  EXPECT_TRUE(r.Ok) << r.Error;
  return r.Body;
}

TEST(Online, AResultEnteredInTheGameReachesTheScoreServer) {
  const fs::path db = TempFile("scores.db");
  fs::remove(db);
  ScoreServer server(db);
  ASSERT_FALSE(server.Url().empty());
  LoweredGame game;
  SimResult r = RunSim(PlayAndEnterName,
                       "--dir " + game.dir.string() + " --server " + server.Url());
  ASSERT_EQ(r.Status, 0) << r.Output;
  ASSERT_EQ(r.States.size(), 3u) << r.Output;
  EXPECT_EQ(r.States[0]["scene"], "SceneGameOver");
  EXPECT_EQ(r.States[1]["sprites"].value("TEnter_Name", 0), 1);
  EXPECT_EQ(r.States[1]["sprites"].value("TEnter_Name_Send", 0), 1);
  EXPECT_EQ(r.States[1]["playerName"], "Петя");
  const auto& done = r.States[2];
  EXPECT_EQ(done["scene"], "SceneHighScores");
  EXPECT_TRUE(done["messages"].empty()) << done["messages"];
  EXPECT_EQ(done["highScores"][0]["name"], "Петя");
  EXPECT_EQ(done["highScores"][0]["score"], 0);
  EXPECT_EQ(done["highScores"][1]["score"], -10);

  const std::string page = Show(server.Url());
  EXPECT_NE(page.find("<td>Петя</td><td class=\"score\">0</td><td>Россия</td>"), std::string::npos)
      << page;

  // Hostile requests on the real transport: refused, and the server stays up.
  auto http = platform::MakeCurlHttpClient();
  EXPECT_EQ(http->Get(server.Url() + "/cgi/version.pl?hs&prg=Pondlark&inf=" +
                      std::string(20000, 'M'))
                .Status / 100,
            4);
  EXPECT_EQ(http->Get(server.Url() + "/cgi/version.pl?hs&prg=Pondlark&inf=%3Cscript%3E").Status,
            400);
  EXPECT_EQ(http->Get(server.Url() + "/cgi/version.pl?version&prg=Pondlark").Body.rfind("OK|", 0),
            0u);

  server.Stop();
  EXPECT_TRUE(server.StoppedCleanly());
  // The database keeps it: a new server on the same file lists it.
  ScoreServer again(db);
  EXPECT_NE(Show(again.Url()).find("Петя"), std::string::npos);
  again.Stop();
  fs::remove(db);
}

TEST(Online, WithTheServerGoneTheResultStaysInTheLocalTable) {
  const fs::path db = TempFile("scores-gone.db");
  fs::remove(db);
  std::string url;
  {
    // A port that was just free and has nobody listening now.
    ScoreServer server(db);
    url = server.Url();
  }
  ASSERT_FALSE(url.empty());
  LoweredGame game;
  SimResult r = RunSim(PlayAndEnterName + "key Esc\nticks 2\nstate\n",
                       "--dir " + game.dir.string() + " --server " + url);
  ASSERT_EQ(r.Status, 0) << r.Output;
  ASSERT_EQ(r.States.size(), 4u) << r.Output;
  const auto& done = r.States[2];
  EXPECT_EQ(done["scene"], "SceneHighScores");
  EXPECT_EQ(done["messages"], nlohmann::json::array({"Can't connect to server!"}));
  EXPECT_EQ(done["highScores"][0]["name"], "Петя");
  EXPECT_EQ(done["highScores"][0]["score"], 0);
  EXPECT_EQ(r.States[3]["scene"], "SceneMainMenu");
  fs::remove(db);
}

}  // namespace
}  // namespace tk::e2e
