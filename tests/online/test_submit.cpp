// The online submission as the game sends it: the version request, the token taken from
// its reply, the padded and encoded result, and what the player sees when it fails.
#include "OnlineFixture.h"
#include "assembly/Replays.h"
#include "online/Online.h"
#include "protocol/Protocol.h"
#include "online/State.h"
#include "platform/Cp1251.h"
#include "protocol/Codec.h"
#include "replay/ReplayFile.h"

namespace tk::testing {
namespace {

namespace vk = platform::vk;
using online::ResultTokenOf;

const std::string kVersionUrl = "http://127.0.0.1:8642/cgi/version.pl?version&prg=Pondlark";
const std::string kSubmitUrl = "http://127.0.0.1:8642/cgi/version.pl?hs&prg=Pondlark&inf=";

platform::HttpResult Ok(std::string body) { return {true, 200, std::move(body), ""}; }

TEST(Submission, TheTokenIsTheFifthBarSeparatedField) {
  const struct {
    const char* Reply;
    const char* Token;
  } cases[] = {
      {"OK|a|b|c|d|e", "d"},
      {"OK|a|b|c|d|", "d"},
      {"OK|a|b|c|d", ""},  // no bar after the fifth field
      {"OK|a|b", ""},
      {"OK", ""},
      {"", ""},
      {"OK||||tok|x|y|z", "tok"},
      {"OK|1.0|x|y|7f3a9c|", "7f3a9c"},
  };
  for (auto& c : cases) EXPECT_EQ(ResultTokenOf(c.Reply), c.Token) << c.Reply;
}

TEST(Submission, APayloadIsPaddedWithZerosToWholeGroupsOfFiveBytes) {
  // 36 bytes of frame, 25 of values.
  const std::string payload = online::ResultPayload("Ivan", 12345, "0123456789", "Russia");
  ASSERT_EQ(payload.size(), 61u);
  EXPECT_EQ(payload, "type=0|name=Ivan|score=12345|key=T|p=0123456789|add=Russia|z=");
  const std::string padded = online::PadPayload(payload);
  EXPECT_EQ(padded, payload + "0000");
  const std::string symbols = EncodeText(padded);
  EXPECT_EQ(symbols.size(), 104u);
  // No bits were added, so the server gets the text back exactly.
  EXPECT_EQ(DecodeText(symbols), padded);
  EXPECT_EQ(online::PadPayload(padded), padded);
}

// A game that ends with a ticked send box and the given name; Enter submits.
void FinishWithSendBox(OnlineGame& g, int32_t score, const std::string& nameUtf8) {
  g.GameOver(score);
  g.Type(nameUtf8);
  g.Click(264, 386);
  g.Frames(1);
  ASSERT_TRUE(g.F().GameSendResult);
  g.Key(vk::Enter);
}

// Frames until every request the submission made has been answered (a few steps at most).
void Settle(OnlineGame& g) {
  for (int i = 0; i < 20 && (!g.http->Idle() || g.F().RequestsInFlight()); ++i) g.Frames(1);
  ASSERT_TRUE(g.http->Idle());
  ASSERT_FALSE(g.F().RequestsInFlight());
}

TEST(Submission, TwoRequestsCarryTheTokenAndTheEncodedResult) {
  OnlineGame g;
  TSettings s;
  s.PlayerCountry = Cp("Россия");
  g.WriteSettings(s);
  g.http->Reply = [](const std::string& url) {
    return Ok(url.find("version&") != std::string::npos ? "OK|Pondlark|1.0|0|tok123|0" : "OK");
  };
  g.Start();
  FinishWithSendBox(g, 2750, "Петя");
  Settle(g);
  ASSERT_EQ(g.http->Urls.size(), 2u);
  EXPECT_EQ(g.http->Urls[0], kVersionUrl);
  ASSERT_EQ(g.http->Urls[1].rfind(kSubmitUrl, 0), 0u);
  const std::string symbols = g.http->Urls[1].substr(kSubmitUrl.size());
  EXPECT_EQ(symbols.find_first_not_of(EncodingAlphabet), std::string::npos);
  EXPECT_EQ(DecodeText(symbols),
            Cp("type=0|name=Петя|score=2750|key=T|p=tok123|add=Россия|z=") + "0000");
  EXPECT_EQ(g.F().Module<online::TOnlineState>().ResultToken, "tok123");
  EXPECT_TRUE(g.shell->Boxes.empty());
  EXPECT_EQ(g.F().CurrentScene, SceneHighScores);
  EXPECT_EQ(g.F().HighScores[1].Name, Cp("Петя"));
}

TEST(Submission, AServerThatDoesNotAnswerOkIsReportedAndTheResultStaysLocal) {
  const struct {
    const char* Why;
    std::function<platform::HttpResult(const std::string&)> Reply;
  } cases[] = {
      {"no connection", nullptr},
      {"lower-case ok", [](const std::string&) { return Ok("ok|a|b|c|d|e"); }},
      {"an error status", [](const std::string&) {
         return platform::HttpResult{false, 500, "OK|a|b|c|d|e", ""};
       }},
      {"a client that throws",
       [](const std::string&) -> platform::HttpResult { throw std::runtime_error("boom"); }},
      {"an empty reply", [](const std::string&) { return Ok(""); }},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.Why);
    OnlineGame g;
    g.http->Reply = c.Reply;
    g.Start();
    FinishWithSendBox(g, 600, "Kot");
    // Kept and shown at once; the failure is told when the reply is in.
    EXPECT_EQ(g.SavedSettings().HighScores[5].Name, "Kot");
    EXPECT_TRUE(g.shell->Boxes.empty());
    Settle(g);
    EXPECT_EQ(g.http->Urls, std::vector<std::string>{kVersionUrl});
    ASSERT_EQ(g.shell->Boxes.size(), 1u);
    EXPECT_EQ(g.shell->Boxes[0].Text, "Can't connect to server!");
    EXPECT_EQ(g.shell->Boxes[0].Caption, Cp("Тиноквак"));
    EXPECT_EQ(g.shell->Boxes[0].Style, platform::MessageStyle::Information);
    EXPECT_EQ(g.F().CurrentScene, SceneHighScores);
    EXPECT_EQ(g.F().HighScores[5].Name, "Kot");
    EXPECT_EQ(g.SavedSettings().HighScores[5].Name, "Kot");
  }
}

TEST(Submission, AFailingSecondRequestIsNotReported) {
  OnlineGame g;
  g.http->Reply = [](const std::string& url) -> platform::HttpResult {
    if (url.find("version&") != std::string::npos) return Ok("OK|a|b|c|d|e");
    throw std::runtime_error("connection reset");
  };
  g.Start();
  FinishWithSendBox(g, 600, "Kot");
  Settle(g);
  EXPECT_EQ(g.http->Urls.size(), 2u);
  EXPECT_TRUE(g.shell->Boxes.empty());
  EXPECT_EQ(g.F().CurrentScene, SceneHighScores);
}

TEST(Submission, TheFinishedGamesReplayFollowsATakenResultWithItsToken) {
  const struct {
    const char* Why;
    std::string SubmitReply;  // the server's answer to the result
    bool Sent;
  } cases[] = {
      {"the result was taken", "OK", true},
      {"the result was refused", "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Why);
    OnlineGame g;
    g.http->Reply = [&](const std::string& url) {
      if (url.find("version&") != std::string::npos) return Ok("OK|Pondlark|1.0|0|tok123|0");
      return c.SubmitReply.empty() ? platform::HttpResult{false, 403, "unknown token\n", ""}
                                   : Ok(c.SubmitReply);
    };
    g.http->PostReply = [](const std::string&, const std::string&) {
      return platform::HttpResult{false, 503, "busy\n", ""};  // a failure stays quiet
    };
    g.Start();
    FinishWithSendBox(g, 2750, "Петя");
    Settle(g);
    online::UploadReplay(g.F(), "REPLAY");
    online::UploadReplay(g.F(), "REPLAY");  // one upload per result
    Settle(g);
    if (!c.Sent) {
      EXPECT_TRUE(g.http->Posts.empty());
      continue;
    }
    ASSERT_EQ(g.http->Posts.size(), 1u);
    EXPECT_EQ(g.http->Posts[0].first, "http://127.0.0.1:8642/cgi/replay.pl?prg=Pondlark&p=tok123");
    EXPECT_EQ(g.http->Posts[0].second, "REPLAY");
    EXPECT_TRUE(g.shell->Boxes.empty());
  }
}

// A server too busy for the replay (503: its check queue is full) gets it again later, a
// few times at growing intervals; an answer of another kind ends the tries.
TEST(Submission, AReplayTheServerWasTooBusyForIsSentAgainLater) {
  const struct {
    const char* Why;
    int BusyAnswers;  // 503s before the server takes it
    size_t Posts;     // uploads in all
  } cases[] = {
      {"taken at the first try again", 1, 2},
      {"taken at the last try", online::MaxReplayRetries, online::MaxReplayRetries + 1},
      {"always busy", 100, online::MaxReplayRetries + 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Why);
    OnlineGame g;
    g.http->Reply = [](const std::string& url) {
      return Ok(url.find("version&") != std::string::npos ? "OK|Pondlark|1.0|0|tok7|0" : "OK");
    };
    int answered = 0;
    g.http->PostReply = [&](const std::string&, const std::string&) {
      return ++answered <= c.BusyAnswers ? platform::HttpResult{false, 503, "busy\n", ""} : Ok("queued\n");
    };
    g.Start();
    FinishWithSendBox(g, 2750, "Петя");
    Settle(g);
    online::UploadReplay(g.F(), "REPLAY");
    Settle(g);
    ASSERT_EQ(g.http->Posts.size(), 1u);
    // Not before its time: the first wait is half a minute.
    g.Run(online::FirstReplayRetryMs - 1000);
    EXPECT_EQ(g.http->Posts.size(), 1u);
    // Waits of 30, 60 and 120 s: all are over within four minutes.
    g.Run(240000);
    Settle(g);
    EXPECT_EQ(g.http->Posts.size(), c.Posts);
    for (const auto& post : g.http->Posts) {
      EXPECT_EQ(post.first, "http://127.0.0.1:8642/cgi/replay.pl?prg=Pondlark&p=tok7");
      EXPECT_EQ(post.second, "REPLAY");
    }
    g.Run(online::FirstReplayRetryMs << online::MaxReplayRetries);  // the wait a fourth try would have
    EXPECT_EQ(g.http->Posts.size(), c.Posts);
  }
}

TEST(Submission, NothingIsSentWithoutTheTick) {
  OnlineGame g;
  g.http->Reply = [](const std::string&) { return Ok("OK|a|b|c|d|e"); };
  g.Start();
  g.GameOver(600);
  g.Type("Kot");
  g.Click(264, 386);
  g.Click(264, 386);
  g.Frames(1);
  g.Key(vk::Enter);
  EXPECT_EQ(g.F().CurrentScene, SceneHighScores);
  g.Frames(5);
  EXPECT_TRUE(g.http->Urls.empty());
}

// The score and the game's replay are on disk before the first request starts; the
// replay then follows the taken result with the same bytes, and each answer is picked up
// by a frame of its own while the high-score table is already shown.
TEST(Submission, TheScoreAndTheReplayAreKeptBeforeAnythingIsSent) {
  OnlineGame g;
  RecordGamesIntoReplays(g.F());
  g.http->Reply = [](const std::string& url) {
    return Ok(url.find("version&") != std::string::npos ? "OK|Pondlark|1.0|0|tok9|0" : "OK");
  };
  g.http->PostReply = [](const std::string&, const std::string&) { return Ok("OK"); };
  std::vector<std::string> keptAtFirstRequest;
  std::string replayOnDisk;
  g.http->OnStart = [&](const platform::HttpRequest&) {
    if (g.http->Urls.size() + g.http->Posts.size() != 1) return;
    keptAtFirstRequest.push_back(Cp1251ToUtf8(g.SavedSettings().HighScores[5].Name));
    for (const auto& e : std::filesystem::recursive_directory_iterator(g.dir.Path() / "Replays"))
      if (e.is_regular_file()) replayOnDisk = ReadWholeFile(e.path().string());
  };
  g.Start();
  g.GameOver(600);
  g.Type("Kot");
  g.Click(264, 386);
  g.Frames(1);
  g.Key(vk::Enter);
  EXPECT_EQ(keptAtFirstRequest, std::vector<std::string>{"Kot"});
  EXPECT_FALSE(replayOnDisk.empty());
  EXPECT_EQ(g.F().CurrentScene, SceneHighScores);
  // One step per idle pass: the version, the result, the replay.
  const std::pair<size_t, size_t> steps[] = {{2, 0}, {2, 1}, {2, 1}};
  for (const auto& [gets, posts] : steps) {
    g.Frames(1);
    EXPECT_EQ(g.http->Urls.size(), gets);
    EXPECT_EQ(g.http->Posts.size(), posts);
  }
  ASSERT_EQ(g.http->Posts.size(), 1u);
  EXPECT_EQ(g.http->Posts[0].first, "http://127.0.0.1:8642/cgi/replay.pl?prg=Pondlark&p=tok9");
  EXPECT_EQ(g.http->Posts[0].second, replayOnDisk);
  EXPECT_FALSE(g.F().RequestsInFlight());
  EXPECT_TRUE(g.shell->Boxes.empty());
}

// ---- Replays kept for a later start

// A small replay, as the recorder writes them.
std::string SomeReplay() {
  replay::TReplay r;
  r.GameVersion = replay::GameVersion();
  r.Seed = 99;
  r.Trailer.Score = 2750;
  return replay::WriteReplay(r);
}

std::string KeptFile(const std::string& token) { return "Unsent/" + token + ".tku"; }

const std::string kReplayUrl = "http://127.0.0.1:8642/cgi/replay.pl?prg=Pondlark&p=";

// An upload the server never took through every try of the session (no reply at all, or
// busy) is on disk from its first failure on, so quitting loses nothing; the next start
// sends it before anything else, as it was, and keeps it only while the server may still
// take it, for a few starts at most.
TEST(Submission, AReplayNotTakenThroughEveryTryIsSentAtTheNextStart) {
  const std::string bytes = SomeReplay();
  std::string kept;
  {
    OnlineGame g;
    g.http->Reply = [](const std::string& url) {
      return Ok(url.find("version&") != std::string::npos ? "OK|Pondlark|1.0|0|tok5|0" : "OK");
    };
    // No PostReply: the upload gets no reply at all, the server being down.
    g.Start();
    FinishWithSendBox(g, 2750, "Петя");
    Settle(g);
    online::UploadReplay(g.F(), bytes);
    Settle(g);
    ASSERT_EQ(g.http->Posts.size(), 1u);
    ASSERT_TRUE(FileExists(KeptFile("tok5")));
    g.Run(240000);
    Settle(g);
    EXPECT_EQ(g.http->Posts.size(), size_t{online::MaxReplayRetries} + 1);
    kept = ReadWholeFile(KeptFile("tok5"));
  }
  const std::optional<online::TUnsentUpload> u = online::ParseUnsent(kept);
  ASSERT_TRUE(u);
  EXPECT_EQ(u->Token, "tok5");
  EXPECT_EQ(u->Tries, 0);
  EXPECT_EQ(u->Replay, bytes);

  const struct {
    const char* Why;
    platform::HttpResult Answer;
    int TriesBefore;
    int TriesAfter;  // -1: the file is gone
  } cases[] = {
      {"taken", {true, 202, "queued\n", ""}, 0, -1},
      {"its result expired or was verified", {false, 403, "unknown token\n", ""}, 0, -1},
      {"the replay refused", {false, 422, "the replay is of another result\n", ""}, 0, -1},
      {"still busy", {false, 503, "busy\n", ""}, 0, 1},
      {"still no server", {false, 0, "", "connection refused"}, 2, 3},
      {"busy at its last start", {false, 503, "busy\n", ""}, online::MaxUnsentStarts - 1, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Why);
    OnlineGame g;
    g.dir.Write(KeptFile("tok5"), online::FormatUnsent({"tok5", c.TriesBefore, bytes}));
    g.http->PostReply = [&](const std::string&, const std::string&) { return c.Answer; };
    g.Start();
    g.Frames(2);
    Settle(g);
    EXPECT_TRUE(g.http->Urls.empty());
    ASSERT_EQ(g.http->Posts.size(), 1u);
    EXPECT_EQ(g.http->Posts[0].first, kReplayUrl + "tok5");
    EXPECT_EQ(g.http->Posts[0].second, bytes);
    EXPECT_TRUE(g.shell->Boxes.empty());
    if (c.TriesAfter < 0) {
      EXPECT_FALSE(FileExists(KeptFile("tok5")));
    } else {
      const auto after = online::ParseUnsent(ReadWholeFile(KeptFile("tok5")));
      ASSERT_TRUE(after);
      EXPECT_EQ(after->Tries, c.TriesAfter);
      EXPECT_EQ(after->Replay, bytes);
    }
    // Once a start: nothing more in this run.
    g.Run(300000);
    EXPECT_EQ(g.http->Posts.size(), 1u);
  }
}

// Damaged kept files are set aside under another name, never sent and never in the way of
// the good ones; and a replay being played sends nothing of what is kept.
TEST(Submission, DamagedKeptUploadsAreSetAsideAndAReplaySendsNothing) {
  const std::string bytes = SomeReplay();
  const std::string good = online::FormatUnsent({"good", 0, bytes});
  const struct {
    const char* Name;
    std::string Bytes;
  } damaged[] = {
      {"garbage", "not a kept upload"},
      {"empty", ""},
      {"other", online::FormatUnsent({"another", 0, bytes})},  // not its file's token
      {"cut", good.substr(0, good.size() - 3)},
      {"tries", "TINOKVAK-UNSENT 1\ntoken=tries\ntries=x\n\n" + bytes},
      {"badtoken", "TINOKVAK-UNSENT 1\ntoken=../x\ntries=0\n\n" + bytes},
  };
  {
    OnlineGame g;
    for (const auto& d : damaged) g.dir.Write(KeptFile(d.Name), d.Bytes);
    g.dir.Write(KeptFile("good"), good);
    g.http->PostReply = [](const std::string&, const std::string&) { return Ok("queued\n"); };
    g.Start();
    g.Frames(2);
    Settle(g);
    ASSERT_EQ(g.http->Posts.size(), 1u);
    EXPECT_EQ(g.http->Posts[0].first, kReplayUrl + "good");
    EXPECT_FALSE(FileExists(KeptFile("good")));
    for (const auto& d : damaged) {
      EXPECT_FALSE(FileExists(KeptFile(d.Name))) << d.Name;
      EXPECT_EQ(ReadWholeFile(KeptFile(d.Name) + ".damaged"), d.Bytes) << d.Name;
    }
  }
  {
    OnlineGame g;
    g.dir.Write(KeptFile("good"), good);
    g.Start();
    g.F().Replaying = true;
    g.Frames(5);
    EXPECT_TRUE(g.http->Posts.empty());
    EXPECT_EQ(ReadWholeFile(KeptFile("good")), good);
  }
}

}  // namespace
}  // namespace tk::testing
