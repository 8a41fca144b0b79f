// The game's HTTP requests: the desktop's worker against a loopback server, and the
// headless wrapper that shows results at fixed points of the virtual clock.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <thread>

#include "platform/http/CurlHttp.h"
#include "platform/headless/Headless.h"
#include "support/LoopbackServer.h"

namespace tk::platform {
namespace {

using testing::LoopbackServer;

// Polls until n results have come (bounded by the client's own time limits, with a margin).
std::vector<HttpCompletion> WaitFor(IHttpRequests& http, size_t n) {
  std::vector<HttpCompletion> got;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (got.size() < n && std::chrono::steady_clock::now() < end) {
    for (auto& c : http.Poll()) got.push_back(std::move(c));
    if (got.size() < n) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return got;
}

TEST(HttpRequests, ResultsArriveOnceEachInTheOrderStarted) {
  LoopbackServer server([](const LoopbackServer::Request& r) { return r.Line + "|" + r.Body; });
  auto http = MakeCurlHttpRequests();
  const RequestId a = http->Start({server.Url() + "/a?x=1"});
  const RequestId b = http->Start({server.Url() + "/b", true, std::string("po\0st", 5)});
  const RequestId c = http->Start({"http://127.0.0.1:1/nobody"});  // refused at once
  EXPECT_NE(a, 0u);
  EXPECT_NE(a, b);
  const auto got = WaitFor(*http, 3);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].Id, a);
  EXPECT_TRUE(got[0].Result.Ok);
  EXPECT_EQ(got[0].Result.Status, 200);
  EXPECT_EQ(got[0].Result.Body, "GET /a?x=1 HTTP/1.1|");
  EXPECT_EQ(got[1].Id, b);
  EXPECT_EQ(got[1].Result.Body, "POST /b HTTP/1.1|" + std::string("po\0st", 5));
  EXPECT_EQ(got[2].Id, c);
  EXPECT_FALSE(got[2].Result.Ok);
  EXPECT_EQ(got[2].Result.Status, 0);
  EXPECT_FALSE(got[2].Result.Error.empty());
  EXPECT_TRUE(http->Poll().empty());  // handed over once
}

TEST(HttpRequests, ACancelledRequestIsNeverHandedOverAndFreesTheWayForTheNext) {
  LoopbackServer* self = nullptr;
  LoopbackServer server([&](const LoopbackServer::Request& r) {
    if (r.Line.find("/slow") != std::string::npos) self->Hold();
    return std::string("fast");
  });
  self = &server;
  auto http = MakeCurlHttpRequests();
  const RequestId slow = http->Start({server.Url() + "/slow"});
  ASSERT_TRUE(server.WaitHeld());
  http->Cancel(slow);  // the transfer in progress is stopped, not waited out
  const RequestId next = http->Start({server.Url() + "/fast"});
  server.Release();  // the server, one connection at a time, goes on to the next
  const auto got = WaitFor(*http, 1);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].Id, next);
  EXPECT_EQ(got[0].Result.Body, "fast");
}

TEST(HttpRequests, GoingAwayWithARequestHeldOpenDoesNotWaitForTheServer) {
  LoopbackServer* self = nullptr;
  LoopbackServer server([&](const LoopbackServer::Request&) {
    self->Hold();
    return std::string("late");
  });
  self = &server;
  {
    auto http = MakeCurlHttpRequests();
    http->Start({server.Url() + "/held"});
    http->Start({server.Url() + "/queued"});
    ASSERT_TRUE(server.WaitHeld());
  }  // returns while the server still holds the reply
  server.Release();
  EXPECT_EQ(server.Requests(), 1);  // the queued one was dropped, never sent
}

// A stand-in for a transport: each request ends after its own number of polls.
class CountedRequests : public IHttpRequests {
 public:
  RequestId Start(HttpRequest req) override {
    polls_[next_] = std::stoi(req.Url);  // the "address" is how many polls it takes
    return next_++;
  }
  std::vector<HttpCompletion> Poll() override {
    ++Polled;
    std::vector<HttpCompletion> out;
    for (auto it = polls_.begin(); it != polls_.end();) {
      if (--it->second > 0) {
        ++it;
        continue;
      }
      HttpResult r;
      r.Ok = true;
      r.Body = std::to_string(it->first);
      out.push_back({it->first, r});
      it = polls_.erase(it);
    }
    return out;
  }
  void Cancel(RequestId id) override { polls_.erase(id); }
  int Polled = 0;

 private:
  std::map<RequestId, int> polls_;
  RequestId next_ = 1;
};

TEST(HttpRequests, HeadlessResultsShowAtTheVirtualTimeTheirStartFixes) {
  HeadlessPlatform plat;
  plat.HttpLatencyMs = 100;
  auto inner = std::make_unique<CountedRequests>();
  CountedRequests& transport = *inner;
  auto http = MakeVirtualTimeRequests(plat, std::move(inner));
  const RequestId slow = http->Start({"50"});  // ends in real time long after its due time
  plat.AdvanceTo(40);
  const RequestId fast = http->Start({"1"});  // ends at once, due at 140
  const RequestId dropped = http->Start({"1"});
  http->Cancel(dropped);

  plat.AdvanceTo(99);
  EXPECT_TRUE(http->Poll().empty());
  EXPECT_EQ(transport.Polled, 0);  // nothing due: the transport is not even asked
  plat.AdvanceTo(100);
  auto got = http->Poll();  // due: waits for the slow transfer, clock standing still
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].Id, slow);
  EXPECT_EQ(plat.Now(), 100u);
  EXPECT_GE(transport.Polled, 50);
  plat.AdvanceTo(139);
  EXPECT_TRUE(http->Poll().empty());  // finished long ago, but not due yet
  plat.AdvanceTo(500);
  got = http->Poll();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].Id, fast);
  EXPECT_EQ(got[0].Result.Body, std::to_string(fast));
  EXPECT_TRUE(http->Poll().empty());
}

}  // namespace
}  // namespace tk::platform
