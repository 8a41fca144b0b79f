// The kept replays of verified results as the site serves them: /replays/ID and
// /replays/ID.json, cached for good, and nothing for any other id. Run on SQLite, and on
// PostgreSQL by tests/e2e/postgres_scores.sh.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>

#include "HttpReply.h"
#include "HttpServer.h"
#include "ReplayFiles.h"
#include "ScoreService.h"
#include "Site.h"
#include "replay/ReplayFile.h"
#include "support/GameDir.h"
#include "support/TestStore.h"

namespace tk::testing {
namespace {

struct TReplayServer {
  TReplayServer() : store(OpenTestStore(dir)), service(*store, [] { return int64_t{1700000000}; }) {}

  // A result stored behind the checks' back; verified with REPLAY when it is not empty.
  int64_t Result(const std::string& token, const std::string& name, int32_t score,
                 const std::string& replay = {}) {
    store->AddToken(token, 1700000000);
    EXPECT_TRUE(store->StoreResult(token, {name, score, "", 1700000000}, 1700000000));
    const auto claim = store->ClaimReplay(token, 1700000000);
    EXPECT_TRUE(claim);
    if (!replay.empty()) {
      EXPECT_TRUE(store->KeepVerified(claim->Id, replay, "digest-" + token));
    }
    return claim->Id;
  }
  std::string Raw(const std::string& bytes) {
    return scores::AnswerRaw(service, bytes, {}, &scores::BuiltInSite()).Reply;
  }
  std::string Get(const std::string& target, const std::string& headers = {}) {
    return Raw("GET " + target + " HTTP/1.1\r\nHost: x\r\n" + headers + "\r\n");
  }

  TempGameDir dir;
  std::unique_ptr<scores::TScoreStore> store;
  scores::TScoreService service;
};

// A small replay whose trailer tells level 7.
std::string SomeReplay(int32_t score) {
  replay::TReplay r;
  r.GameVersion = replay::GameVersion();
  r.Seed = 12345;
  r.Trailer.Score = score;
  r.Trailer.Level = 7;
  r.Trailer.Lives = 2;
  return replay::WriteReplay(r);
}

TEST(ScoreServer, AVerifiedResultsReplayAndSummaryAreServedForGood) {
  TReplayServer s;
  const std::string replay = SomeReplay(4321);
  // A name no game could type, to show the summary's escaping.
  const std::string name = "Ква\"ку\\ша</script>\n";
  const int64_t verified = s.Result("t1", name, 4321, replay);
  const int64_t plain = s.Result("t2", "Kot", 9000);
  const std::string id = std::to_string(verified);

  const std::string file = s.Get("/replays/" + id);
  ASSERT_EQ(Status(file), "200") << file.substr(0, 300);
  EXPECT_EQ(Body(file), replay);
  EXPECT_EQ(Header(file, "Content-Type"), "application/vnd.tinokvak.replay");
  EXPECT_EQ(Header(file, "Cache-Control"), "public, max-age=31536000, immutable");
  EXPECT_EQ(Header(file, "X-Content-Type-Options"), "nosniff");
  const std::string tag = Header(file, "ETag");
  ASSERT_GE(tag.size(), 3u);
  EXPECT_EQ(tag.front(), '"');

  const std::string json = s.Get("/replays/" + id + ".json");
  ASSERT_EQ(Status(json), "200") << json.substr(0, 300);
  EXPECT_EQ(Header(json, "Content-Type"), "application/json");
  EXPECT_EQ(Header(json, "Cache-Control"), "public, max-age=31536000, immutable");
  EXPECT_NE(Header(json, "ETag"), tag);  // another representation, another tag
  const nlohmann::json told = nlohmann::json::parse(Body(json));
  EXPECT_EQ(told, nlohmann::json({{"id", verified}, {"name", name}, {"score", 4321}, {"level", 7},
                                  {"verified", true}}));
  EXPECT_EQ(Body(json).rfind("{\"id\":" + id + ",\"name\":", 0), 0u) << Body(json);

  // HEAD: GET's header without the body; a cached copy is confirmed by its tag alone.
  const std::string head = s.Raw("HEAD /replays/" + id + " HTTP/1.1\r\nHost: x\r\n\r\n");
  EXPECT_EQ(Status(head), "200");
  EXPECT_EQ(Header(head, "Content-Length"), std::to_string(replay.size()));
  EXPECT_EQ(Header(head, "ETag"), tag);
  EXPECT_EQ(Body(head), "");
  for (const std::string& match : {tag, "\"x\", W/" + tag, std::string("*")}) {
    SCOPED_TRACE(match);
    const std::string same = s.Get("/replays/" + id, "If-None-Match: " + match + "\r\n");
    EXPECT_EQ(Status(same), "304");
    EXPECT_EQ(Body(same), "");
    EXPECT_EQ(Header(same, "ETag"), tag);
    EXPECT_EQ(Header(same, "Cache-Control"), "public, max-age=31536000, immutable");
  }
  EXPECT_EQ(Status(s.Get("/replays/" + id, "If-None-Match: \"other\"\r\n")), "200");

  // The table links the verified result's replay to the page that plays it, and no other.
  const std::string table = s.service.Handle("/cgi/version.pl", "prg=Pondlark&type=0&show").Body;
  EXPECT_NE(table.find("href=\"/play/?watch=" + id + "\""), std::string::npos) << table;
  EXPECT_EQ(table.find("watch=" + std::to_string(plain)), std::string::npos);
  EXPECT_NE(table.find("▶</a>"), std::string::npos);
}

TEST(ScoreServer, OnlyAVerifiedResultsDecimalIdNamesAReplay) {
  TReplayServer s;
  const int64_t verified = s.Result("t1", "Kot", 50, SomeReplay(50));
  const int64_t unverified = s.Result("t2", "Pes", 60);
  ASSERT_EQ(verified, 1);
  const std::string paths[] = {
      "/replays/" + std::to_string(unverified),       // no replay proved it
      "/replays/" + std::to_string(unverified) + ".json",
      "/replays/3",                                    // no such result
      "/replays/987654321098765432",
      "/replays/",
      "/replays/.json",
      "/replays/0",
      "/replays/01",                                   // one address for each replay
      "/replays/+1",
      "/replays/-1",
      "/replays/1x",
      "/replays/0x1",
      "/replays/1.0",
      "/replays/%31",                                  // no decoding into an id
      "/replays/1%00",
      "/replays/1/",
      "/replays/1.JSON",
      "/replays/1.json.json",
      "/replays/1.jsonx",
      "/replays/../replays/1",
      "/replays//1",
      "/replays/99999999999999999999999",             // beyond 64 bits
      "/replays/9223372036854775808",
      "/replays/1;drop%20table%20results",
      "/replays/1'--",
  };
  for (const std::string& p : paths) {
    SCOPED_TRACE(p);
    const std::string r = s.Get(p);
    EXPECT_EQ(Status(r), "404") << r.substr(0, 200);
    EXPECT_EQ(Header(r, "Cache-Control"), "no-store");  // it may be verified later
    EXPECT_EQ(Header(r, "Content-Type"), "text/plain; charset=utf-8");
    EXPECT_FALSE(Body(r).empty());
    EXPECT_EQ(Status(s.Raw("HEAD " + p + " HTTP/1.1\r\nHost: x\r\n\r\n")), "404");
  }
  // Still there, and only ever read.
  EXPECT_EQ(Status(s.Get("/replays/1")), "200");
  EXPECT_EQ(Status(s.Get("/replays/1?any=query")), "200");
  EXPECT_EQ(Status(s.Raw("POST /replays/1 HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\n\r\n")), "405");
  EXPECT_EQ(s.store->ResultCount(), 2);
}

TEST(ScoreServer, ReplayPathsParseToOneIdEach) {
  const struct {
    const char* Path;
    int64_t Id;  // 0: none
    bool Json;
  } cases[] = {
      {"/replays/1", 1, false},
      {"/replays/42.json", 42, true},
      {"/replays/922337203685477580", 922337203685477580, false},  // 18 digits
      {"/replays/9223372036854775807", 0, false},                  // 19: refused, never wrapped
      {"/replays/0.json", 0, false},
      {"/replay/1", 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Path);
    const auto r = scores::ParseReplayPath(c.Path);
    EXPECT_EQ(r.has_value(), c.Id != 0);
    if (r) {
      EXPECT_EQ(r->Id, c.Id);
      EXPECT_EQ(r->Json, c.Json);
    }
  }
}

}  // namespace
}  // namespace tk::testing
