// A game ends with a result good enough for the table; the name goes to tinokvak-scores
// running on loopback, and, with the server gone, stays in the local table all the same.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "SimRun.h"
#include "persist/Settings.h"
#include "platform/Cp1251.h"
#include "platform/http/CurlHttp.h"

namespace tk::e2e {
namespace {

namespace fs = std::filesystem;

// tinokvak-scores on a free loopback port with its own database, stopped at the end.
class ScoreServer {
 public:
  explicit ScoreServer(fs::path db, std::vector<std::string> extra = {}) : db_(std::move(db)) {
    int out[2];
    if (pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], STDOUT_FILENO);
      close(out[0]);
      close(out[1]);
      std::vector<std::string> args = {TK_SCORES, "--port", "0", "--db", db_.string()};
      args.insert(args.end(), extra.begin(), extra.end());
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(TK_SCORES, argv.data());
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

// One request on the game's own HTTP client, waited for (its time limits bound the wait).
platform::HttpResult Fetch(const std::string& url) {
  auto http = platform::MakeCurlHttpRequests();
  http->Start({url});
  for (;;) {
    auto done = http->Poll();
    if (!done.empty()) return std::move(done.front().Result);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

std::string Show(const std::string& url) {
  const auto r = Fetch(url + "/cgi/version.pl?prg=Pondlark&type=0&show");
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
  EXPECT_EQ(Fetch(server.Url() + "/cgi/version.pl?hs&prg=Pondlark&inf=" +
                      std::string(20000, 'M'))
                .Status / 100,
            4);
  EXPECT_EQ(Fetch(server.Url() + "/cgi/version.pl?hs&prg=Pondlark&inf=%3Cscript%3E").Status,
            400);
  EXPECT_EQ(Fetch(server.Url() + "/cgi/version.pl?version&prg=Pondlark").Body.rfind("OK|", 0),
            0u);

  server.Stop();
  EXPECT_TRUE(server.StoppedCleanly());
  // The database keeps it: a new server on the same file lists it.
  ScoreServer again(db);
  EXPECT_NE(Show(again.Url()).find("Петя"), std::string::npos);
  again.Stop();
  fs::remove(db);
}

TEST(Online, AGamesReplayFollowsItsResultAndVerifiesIt) {
  const fs::path db = TempFile("scores-verified.db"), recorded = TempFile("verified.tkr");
  fs::remove(db);
  ScoreServer server(db, {"--checker", TK_SIM, "--game-dir", TK_GAME_DIR});
  ASSERT_FALSE(server.Url().empty());
  LoweredGame game;
  SimResult r = RunSim(PlayAndEnterName, "--dir " + game.dir.string() + " --server " +
                                             server.Url() + " --record " + recorded.string());
  ASSERT_EQ(r.Status, 0) << r.Output;
  EXPECT_EQ(r.Output.find("was not sent"), std::string::npos) << r.Output;
  // The check runs after the upload was answered: wait for it, within its time limit.
  const std::string verified = server.Url() + "/cgi/version.pl?prg=Pondlark&type=0&show&verified";
  std::string page;
  for (int i = 0; i < 120; ++i) {
    page = Fetch(verified).Body;
    if (page.find("Петя") != std::string::npos) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_NE(page.find("<td>Петя <span class=\"verified\""), std::string::npos) << page;
  EXPECT_NE(Show(server.Url()).find("<td>Петя <span class=\"verified\""), std::string::npos);
  server.Stop();
  EXPECT_TRUE(server.StoppedCleanly());
  fs::remove(db);
  fs::remove(recorded);
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
  const fs::path recorded = TempFile("gone.tkr");
  SimResult r = RunSim(PlayAndEnterName + "key Esc\nticks 2\nstate\n",
                       "--dir " + game.dir.string() + " --server " + url + " --record " +
                           recorded.string());
  ASSERT_EQ(r.Status, 0) << r.Output;
  ASSERT_EQ(r.States.size(), 4u) << r.Output;
  const auto& done = r.States[2];
  EXPECT_EQ(done["scene"], "SceneHighScores");
  EXPECT_EQ(done["messages"], nlohmann::json::array({"Can't connect to server!"}));
  EXPECT_EQ(done["highScores"][0]["name"], "Петя");
  EXPECT_EQ(done["highScores"][0]["score"], 0);
  EXPECT_EQ(r.States[3]["scene"], "SceneMainMenu");
  fs::remove(db);

  // Watching or checking that game connects to nothing, so there is nothing to fail.
  const SimResult check = RunSimArgs("--dir " + game.dir.string() + " --server " + url +
                                     " --replay " + recorded.string() + " --check");
  EXPECT_EQ(check.Status, 0) << check.Output;
  EXPECT_EQ(check.Output.find("connect"), std::string::npos) << check.Output;
  ASSERT_FALSE(check.States.empty()) << check.Output;
  EXPECT_TRUE(check.States.back()["messages"].empty()) << check.Output;
  fs::remove(recorded);
}

// A raw connection to the server from a given loopback address, for clients the game's
// HTTP client would never be.
class RawClient {
 public:
  RawClient(const std::string& url, const char* from = "127.0.0.1") {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in src{};
    src.sin_family = AF_INET;
    inet_pton(AF_INET, from, &src.sin_addr);
    bind(fd_, reinterpret_cast<sockaddr*>(&src), sizeof src);
    sockaddr_in dst{};
    dst.sin_family = AF_INET;
    dst.sin_port = htons(static_cast<uint16_t>(std::stoi(url.substr(url.rfind(':') + 1))));
    inet_pton(AF_INET, "127.0.0.1", &dst.sin_addr);
    connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&dst), sizeof dst) == 0;
  }
  ~RawClient() { close(fd_); }
  bool Connected() const { return connected_; }
  bool Send(std::string_view bytes) {
    return send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
  }
  // Everything that arrives within the time, and whether the server closed the connection.
  std::string Receive(int ms, bool* closed = nullptr) {
    std::string got;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now()).count();
      pollfd p{fd_, POLLIN, 0};
      if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) break;
      char buf[4096];
      const ssize_t n = recv(fd_, buf, sizeof buf, 0);
      if (n <= 0) {
        if (closed) *closed = true;
        break;
      }
      got.append(buf, static_cast<size_t>(n));
    }
    return got;
  }

 private:
  int fd_ = -1;
  bool connected_ = false;
};

TEST(Online, TheServerCutsOffSlowAndGreedyClients) {
  const fs::path db = TempFile("scores-hostile.db");
  fs::remove(db);
  ScoreServer server(db, {"--request-seconds", "1", "--per-address", "4"});
  ASSERT_FALSE(server.Url().empty());
  const std::string version = "GET /cgi/version.pl?version&prg=Pondlark HTTP/1.1\r\nHost: x\r\n\r\n";

  // Two requests on one connection, sent in one go: two answers, the connection stays.
  RawClient reused(server.Url());
  ASSERT_TRUE(reused.Send(version + version));
  std::string both;
  for (int i = 0; i < 20 && both.find("OK|", both.find("OK|") + 1) == std::string::npos; ++i)
    both += reused.Receive(100);
  EXPECT_EQ(both.rfind("HTTP/1.1 200", 0), 0u) << both;
  EXPECT_NE(both.find("OK|", both.find("OK|") + 1), std::string::npos) << both;

  // Headers beyond the cap: 431, and the connection goes.
  RawClient flood(server.Url());
  flood.Send("GET /cgi/version.pl?version&prg=Pondlark HTTP/1.1\r\n");
  for (int i = 0; i < 40; ++i) flood.Send("X-Pad: " + std::string(1000, 'a') + "\r\n");
  bool floodClosed = false;
  EXPECT_EQ(flood.Receive(3000, &floodClosed).rfind("HTTP/1.1 431", 0), 0u);
  EXPECT_TRUE(floodClosed);

  // A client that trickles its request is cut off at the deadline, though every byte came
  // well within a read time-out.
  RawClient slow(server.Url());
  bool slowClosed = false;
  std::string slowReply;
  for (const char c : std::string("GET /cgi/version.pl?version&prg=Pondlark HTTP/1.1\r\n")) {
    if (!slow.Send(std::string(1, c))) break;
    slowReply += slow.Receive(200, &slowClosed);
    if (slowClosed) break;
  }
  EXPECT_TRUE(slowClosed);
  EXPECT_EQ(slowReply.find("200"), std::string::npos);

  server.Stop();
  EXPECT_TRUE(server.StoppedCleanly());
  fs::remove(db);
}

TEST(Online, OneAddressGetsItsShareOfRequestsNotOfConnections) {
  const fs::path db = TempFile("scores-share.db");
  fs::remove(db);
  ScoreServer server(db, {"--per-address", "4"});
  ASSERT_FALSE(server.Url().empty());
  const std::string version =
      "GET /cgi/version.pl?version&prg=Pondlark HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
  // Idle kept connections from one address hold nothing: players behind one address are
  // not turned away for keeping theirs open.
  std::vector<std::unique_ptr<RawClient>> held;
  for (int i = 0; i < 6; ++i) {
    held.push_back(std::make_unique<RawClient>(server.Url(), "127.0.0.3"));
    ASSERT_TRUE(held.back()->Connected());
  }
  RawClient seventh(server.Url(), "127.0.0.3");
  seventh.Send(version);
  EXPECT_EQ(seventh.Receive(5000).rfind("HTTP/1.1 200", 0), 0u);
  // Four requests under way (each has sent its first line) are all it gets at once: once
  // the server has read them, another request from there is turned away...
  for (int i = 0; i < 4; ++i)
    ASSERT_TRUE(held[i]->Send("GET /cgi/version.pl?version&prg=Pondlark HTTP/1.1\r\n"));
  std::string turned;
  for (int i = 0; i < 100 && turned.rfind("HTTP/1.1 503", 0) != 0; ++i) {
    RawClient more(server.Url(), "127.0.0.3");
    more.Send(version);
    turned = more.Receive(5000);
  }
  EXPECT_EQ(turned.rfind("HTTP/1.1 503", 0), 0u) << turned;
  EXPECT_NE(turned.find("\r\nRetry-After: "), std::string::npos);
  // ...while another address is still served, and the requests under way are answered.
  RawClient other(server.Url());
  other.Send(version);
  EXPECT_EQ(other.Receive(5000).rfind("HTTP/1.1 200", 0), 0u);
  ASSERT_TRUE(held[0]->Send("Host: x\r\nConnection: close\r\n\r\n"));
  EXPECT_EQ(held[0]->Receive(5000).rfind("HTTP/1.1 200", 0), 0u);
  server.Stop();
  EXPECT_TRUE(server.StoppedCleanly());
  fs::remove(db);
}

}  // namespace
}  // namespace tk::e2e
