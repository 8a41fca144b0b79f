// Requests made through the main window: results reach their purpose's handler from the
// idle step, are journaled while a game is recorded, and come from the journal in a replay,
// which connects to nothing.
#include <gtest/gtest.h>

#include "ShellFixture.h"
#include "shell/Replay.h"

namespace tk {
namespace {

using testing::ShellFixture;

// Answers each request at the first poll after its start with its address as the body;
// counts what was started.
class EchoRequests : public platform::IHttpRequests {
 public:
  platform::RequestId Start(platform::HttpRequest req) override {
    ++Started;
    waiting_.push_back({next_, req.Url});
    return next_++;
  }
  std::vector<platform::HttpCompletion> Poll() override {
    std::vector<platform::HttpCompletion> out;
    for (auto& [id, url] : std::exchange(waiting_, {}))
      out.push_back({id, platform::HttpResult{true, 200, url, ""}});
    return out;
  }
  void Cancel(platform::RequestId id) override {
    std::erase_if(waiting_, [id](const auto& w) { return w.first == id; });
  }
  int Started = 0;

 private:
  std::vector<std::pair<platform::RequestId, std::string>> waiting_;
  platform::RequestId next_ = 1;
};

TEST_F(ShellFixture, ARepliesJournalReplaysWithoutAnyConnection) {
  auto echo = std::make_unique<EchoRequests>();
  EchoRequests* live = echo.get();
  plat.Get().Http = std::move(echo);
  Start();
  // The first reply starts a second request; each changes the score its own way.
  form->NetReplies[5] = [this](const platform::HttpResult& r) {
    if (r.Body == "a") {
      form->Score += 1000;
      form->StartRequest(5, {"b"});
    } else {
      form->Score += 1;
    }
  };
  std::optional<replay::TReplay> recorded;
  form->Recorder->OnFinished = [&](replay::TReplay&& r) { recorded = std::move(r); };
  form->Recorder->Start();
  const platform::RequestId cancelled = form->StartRequest(5, {"never"});
  form->CancelRequest(cancelled);
  EXPECT_NE(form->StartRequest(5, {"a"}), 0u);
  EXPECT_EQ(form->Score, 0);  // nothing is handed over inside the call
  EXPECT_TRUE(form->RequestsInFlight());
  Frames(3);
  EXPECT_FALSE(form->RequestsInFlight());
  EXPECT_EQ(form->Score, 1001);
  EXPECT_EQ(live->Started, 3);
  form->Recorder->Finish();
  ASSERT_TRUE(recorded);
  std::vector<std::string> journaled;
  for (const auto& e : recorded->Entries)
    if (e.Type == replay::TEntry::Net) journaled.push_back(e.Reply.Body);
  EXPECT_EQ(journaled, (std::vector<std::string>{"a", "b"}));

  // The replay: the same score from the journal, and nothing started on the client.
  const replay::TReplay file = replay::ReadReplay(replay::WriteReplay(*recorded));
  auto quiet = std::make_unique<EchoRequests>();
  EchoRequests* replayed = quiet.get();
  plat.Get().Http = std::move(quiet);
  form->Score = 0;
  TReplayPlayer player(*form, file);
  player.Setup();
  while (!player.Done()) {
    plat.AdvanceTo(player.NextClock());
    player.Step();
  }
  EXPECT_EQ(form->Score, 1001);
  EXPECT_EQ(replayed->Started, 0);
  EXPECT_EQ(form->StartRequest(5, {"a"}), 0u);
  EXPECT_FALSE(form->RequestsInFlight());
}

TEST_F(ShellFixture, WithoutAnHttpClientARequestFailsAtTheNextIdleStep) {
  plat.Get().Http.reset();
  Start();
  std::vector<platform::HttpResult> got;
  form->NetReplies[0] = [&](const platform::HttpResult& r) { got.push_back(r); };
  form->StartRequest(0, {"http://127.0.0.1:1/"});
  EXPECT_TRUE(got.empty());
  Frames(1);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_FALSE(got[0].Ok);
  EXPECT_FALSE(got[0].Error.empty());
}

}  // namespace
}  // namespace tk
