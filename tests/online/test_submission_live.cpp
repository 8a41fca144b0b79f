// The submission on the real transport against a loopback server that takes its time: the
// frames go on meanwhile, and a game killed while the server holds the request has already
// kept its score and its replay.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "OnlineFixture.h"
#include "assembly/Replays.h"
#include "online/State.h"
#include "platform/http/CurlHttp.h"
#include "support/LoopbackServer.h"

namespace tk::testing {
namespace {

namespace vk = platform::vk;

// Game over with 600 points, the name typed, the send box ticked and Enter pressed.
void EnterAndSend(OnlineGame& g) {
  g.GameOver(600);
  g.Type("Kot");
  g.Click(264, 386);
  g.Frames(1);
  ASSERT_TRUE(g.F().GameSendResult);
  g.Key(vk::Enter);
}

TEST(SlowScoreServer, FramesGoOnWhileTheServerHoldsTheAnswer) {
  LoopbackServer* self = nullptr;
  LoopbackServer server([&](const LoopbackServer::Request& r) -> std::string {
    if (r.Line.find("version&") == std::string::npos) return "OK";
    self->Hold();
    return "OK|Pondlark|1.0|0|tok77|0";
  });
  self = &server;
  OnlineGame g;
  g.plat.Get().Http = platform::MakeCurlHttpRequests();  // nothing waits for it
  g.F().Options.ScoreServer = server.Url();
  g.Start();
  EnterAndSend(g);
  ASSERT_TRUE(server.WaitHeld());

  int ticks = 0;
  auto& table = g.F().Scenes[SceneHighScores];
  table.Tick = [ticks = &ticks, tick = table.Tick] {
    ++*ticks;
    tick();
  };
  const int frames = 60;  // about two seconds of play while the answer is held
  for (int i = 0; i < frames; ++i) g.Frames(1);
  EXPECT_EQ(ticks, frames);
  EXPECT_TRUE(g.F().RequestsInFlight());
  EXPECT_EQ(g.F().CurrentScene, SceneHighScores);
  EXPECT_TRUE(g.shell->Boxes.empty());
  EXPECT_EQ(g.SavedSettings().HighScores[5].Name, "Kot");

  server.Release();
  // The answer arrives in real time; frames go on until it has been picked up (bounded
  // by the client's own time limits).
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (g.F().RequestsInFlight() && std::chrono::steady_clock::now() < end) {
    g.Frames(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_FALSE(g.F().RequestsInFlight());
  EXPECT_EQ(server.Requests(), 2);
  EXPECT_EQ(g.F().Module<online::TOnlineState>().ResultToken, "tok77");
  EXPECT_EQ(g.F().Module<online::TOnlineState>().ReplayUploadToken, "tok77");
  EXPECT_TRUE(g.shell->Boxes.empty());
  EXPECT_GT(ticks, frames);
}

// The game runs in a child process; the parent plays the server, which reads the first
// request and never answers it, then kills the child.
TEST(SlowScoreServer, AGameKilledWhileTheServerHoldsTheRequestHasKeptItsScore) {
  LoopbackServer server(nullptr, /*listenOnly=*/true);
  int pipeFd[2];
  ASSERT_EQ(pipe(pipeFd), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(pipeFd[0]);
    {
      OnlineGame g;
      // The headless transport: the frame that is due for the answer waits for it.
      g.plat.Get().Http =
          platform::MakeVirtualTimeRequests(g.plat, platform::MakeCurlHttpRequests());
      g.F().Options.ScoreServer = server.Url();
      RecordGamesIntoReplays(g.F());
      const std::string dir = g.dir.Path().string() + "\n";
      if (write(pipeFd[1], dir.data(), dir.size()) != static_cast<ssize_t>(dir.size())) _exit(2);
      g.Start();
      EnterAndSend(g);
      // Killed in here; should the parent be gone, the client's time limits end it.
      for (int i = 0; i < 1000; ++i) g.Frames(1);
    }
    _exit(3);
  }
  close(pipeFd[1]);
  std::string dir;
  char c;
  while (read(pipeFd[0], &c, 1) == 1 && c != '\n') dir += c;
  close(pipeFd[0]);

  const LoopbackServer::Request first = server.AcceptOne(30000);
  kill(child, SIGKILL);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
  EXPECT_NE(first.Line.find("version&"), std::string::npos) << first.Line;

  ASSERT_FALSE(dir.empty());
  TSettings s;
  std::string error;
  ASSERT_TRUE(ReadSettings(ReadWholeFile((std::filesystem::path(dir) / "Config.cfg").string()),
                           s, error))
      << error;
  EXPECT_EQ(s.HighScores[5].Name, "Kot");
  EXPECT_EQ(s.HighScores[5].Score, 600);
  int replays = 0;
  for (const auto& e : std::filesystem::directory_iterator(std::filesystem::path(dir) / "Replays"))
    replays += e.is_regular_file();
  EXPECT_EQ(replays, 1);
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}

}  // namespace
}  // namespace tk::testing
