// The reference score server's side of a submission: what it takes from a result the game
// built, what it refuses, and the page that lists the best results.
#include <libpq-fe.h>
#include <signal.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "HttpServer.h"
#include "ReplayFiles.h"
#include "ScoreService.h"
#include "platform/Cp1251.h"
#include "protocol/Codec.h"
#include "protocol/Protocol.h"
#include "replay/ReplayFile.h"
#include "support/GameDir.h"
#include "support/TestStore.h"

namespace tk::testing {
namespace {

using scores::TReply;
using scores::TResultRow;
using scores::TScoreService;
using scores::TScoreStore;

struct Server {
  Server() : store(OpenTestStore(dir)), service(*store, [this] { return now; }) {}
  TReply Get(std::string_view query) { return service.Handle("/cgi/version.pl", query); }
  std::string Token() {
    const TReply r = Get("version&prg=Pondlark");
    EXPECT_EQ(r.Status, 200);
    EXPECT_EQ(r.Body.rfind("OK|", 0), 0u) << r.Body;
    return online::ResultTokenOf(r.Body);
  }
  // A submission of an arbitrary text, padded as the game pads.
  TReply Submit(const std::string& payload1251) {
    return Get("hs&prg=Pondlark&inf=" + EncodeText(online::PadPayload(payload1251)));
  }

  TempGameDir dir;
  int64_t now = 1700000000;
  std::unique_ptr<TScoreStore> store;
  TScoreService service;
};

TEST(ScoreServer, RefusesWhatTheGameWouldNeverSend) {
  Server server;
  auto payload = [](std::string name, std::string score, std::string key, std::string token,
                    std::string country) {
    return "type=0|name=" + name + "|score=" + score + "|key=" + key + "|p=" + token +
           "|add=" + country + "|z=";
  };
  const std::string good = "T";
  const struct {
    const char* Why;
    std::function<std::string(const std::string& token)> Payload;
    int Status;
  } cases[] = {
      {"SQL in the name",
       [&](auto& t) { return payload("x');DROP TABLE results;--", "5", good, t, ""); }, 400},
      {"HTML in the name", [&](auto& t) { return payload("<b>x</b>", "5", good, t, ""); }, 400},
      {"HTML in the country", [&](auto& t) { return payload("Kot", "5", good, t, "<i>"); }, 400},
      {"a blank in the name", [&](auto& t) { return payload("K t", "5", good, t, ""); }, 400},
      {"an empty name", [&](auto& t) { return payload("", "5", good, t, ""); }, 400},
      {"eleven characters", [&](auto& t) { return payload("abcdefghijk", "5", good, t, ""); }, 400},
      {"\"ё\" in the name", [&](auto& t) { return payload(Cp("ёж"), "5", good, t, ""); }, 400},
      {"a score that is not a number", [&](auto& t) { return payload("Kot", "5e3", good, t, ""); }, 400},
      {"a score beyond 32 bits", [&](auto& t) { return payload("Kot", "4294967296", good, t, ""); }, 400},
      {"an empty score", [&](auto& t) { return payload("Kot", "", good, t, ""); }, 400},
      {"a negative score", [&](auto& t) { return payload("Kot", "-5", good, t, ""); }, 400},
      {"the largest 32-bit score", [&](auto& t) { return payload("Kot", "2147483647", good, t, ""); }, 400},
      {"just above the plausible",
       [&](auto& t) { return payload("Kot", std::to_string(TScoreService::MaxPlausibleScore + 1), good, t, ""); }, 400},
      {"a wrong key", [&](auto& t) { return payload("Kot", "5", "Q", t, ""); }, 403},
      {"a lower-case key", [&](auto& t) { return payload("Kot", "5", "t", t, ""); }, 403},
      {"a token never issued", [&](auto&) { return payload("Kot", "5", good, "beef", ""); }, 403},
      {"an extra field", [&](auto& t) { return payload("Kot", "5", good, t, "") + "|x=1"; }, 400},
      {"fields out of order",
       [&](auto& t) { return "type=0|score=5|name=Kot|key=T|p=" + t + "|add=|z="; }, 400},
      {"a bar smuggled into the country",
       [&](auto& t) { return payload("Kot", "5", good, t, "x|score=9"); }, 400},
  };
  const std::string token = server.Token();
  for (auto& c : cases) {
    SCOPED_TRACE(c.Why);
    EXPECT_EQ(server.Submit(c.Payload(token)).Status, c.Status);
  }
  EXPECT_TRUE(server.store->Best(100).empty());
  // A refused result does not use its token up: a good one still goes through with it.
  EXPECT_EQ(server.Submit(payload("Kot", "5", good, token, Cp("Русь"))).Status, 200);
  EXPECT_EQ(server.store->Best(100).size(), 1u);
  // Both ends of what a game can score still go through.
  for (const int32_t score : {0, TScoreService::MaxPlausibleScore}) {
    SCOPED_TRACE(score);
    EXPECT_EQ(server.Submit(payload("Kot", std::to_string(score), good, server.Token(), "")).Status, 200);
  }
  EXPECT_EQ(server.store->Best(100).size(), 3u);
}

TEST(ScoreServer, ATokenServesOneResultWithinTheHour) {
  Server server;
  const std::string token = server.Token();
  EXPECT_EQ(token.size(), 32u);
  EXPECT_NE(server.Token(), token);
  const std::string p = "type=0|name=Kot|score=10|key=T|p=" + token + "|add=|z=";
  EXPECT_EQ(server.Submit(p).Status, 200);
  EXPECT_EQ(server.Submit(p).Status, 403);  // reused
  const std::string late = server.Token();
  server.now += TScoreStore::TokenLifetime + 1;
  EXPECT_EQ(server.Submit("type=0|name=Kot|score=10|key=T|p=" + late + "|add=|z=").Status, 403);
  EXPECT_EQ(server.store->Best(100).size(), 1u);
}

TEST(ScoreServer, MalformedAndOversizedRequestsGetAClientError) {
  Server server;
  const std::string token = server.Token();
  const std::string payload = "type=0|name=Kot|score=10|key=T|p=" + token + "|add=|z=";
  const std::string symbols = EncodeText(online::PadPayload(payload));
  const struct {
    std::string Query;
    int Status;
  } cases[] = {
      {"", 400},
      {"version", 400},
      {"version&prg=Other", 400},
      {"version&prg=Pondlark&prg=Pondlark", 400},
      {"hs&prg=Pondlark", 400},
      {"hs&prg=Pondlark&inf=", 400},
      {"hs&prg=Pondlark&inf=" + symbols.substr(1), 400},       // not whole groups
      {"hs&prg=Pondlark&inf=" + symbols + "mnbvcxzl", 400},    // outside the alphabet
      {"hs&prg=Pondlark&inf=" + symbols + "&inf=" + symbols, 400},
      {"hs&prg=Pondlark&inf=" + std::string(400, 'M'), 413},
      {"hs&prg=Pondlark&inf=" + std::string(100000, 'M'), 414},
      {"prg=Pondlark&type=1&show", 400},
      {"&&&", 400},
  };
  for (auto& c : cases) EXPECT_EQ(server.Get(c.Query).Status, c.Status) << c.Query.substr(0, 80);
  EXPECT_EQ(server.service.Handle("/cgi/other.pl", "version&prg=Pondlark").Status, 404);
  // Still serving, and the token was not spent by the refusals.
  EXPECT_EQ(server.Get("hs&prg=Pondlark&inf=" + symbols).Status, 200);
}

TEST(ScoreServer, TheShowPageListsTheBestFirstWithNamesEscaped) {
  Server server;
  // Stored behind the checks' back, as an older server might have left them.
  const std::string token1 = "t1", token2 = "t2", token3 = "t3";
  for (const auto& t : {token1, token2, token3}) server.store->AddToken(t, server.now);
  ASSERT_TRUE(server.store->StoreResult(token1, {"<script>alert('x')</script>", 50, "a&b", 0}, server.now));
  ASSERT_TRUE(server.store->StoreResult(token2, {"Петя", 9000, "Россия", 0}, server.now));
  ASSERT_TRUE(server.store->StoreResult(token3, {"Kot", 700, "", 0}, server.now));
  const TReply r = server.Get("prg=Pondlark&type=0&show");
  EXPECT_EQ(r.Status, 200);
  EXPECT_EQ(r.ContentType, "text/html; charset=utf-8");
  EXPECT_NE(r.Body.find("<meta charset=\"utf-8\">"), std::string::npos);
  EXPECT_EQ(r.Body.find("<script>"), std::string::npos);
  EXPECT_NE(r.Body.find("&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;"), std::string::npos);
  EXPECT_NE(r.Body.find("a&amp;b"), std::string::npos);
  const size_t petya = r.Body.find("Петя"), kot = r.Body.find("Kot"),
               script = r.Body.find("&lt;script");
  ASSERT_NE(petya, std::string::npos);
  EXPECT_LT(petya, kot);
  EXPECT_LT(kot, script);
  EXPECT_NE(r.Body.find("9000"), std::string::npos);
  EXPECT_NE(r.Body.find("Россия"), std::string::npos);
}

TEST(ScoreServer, KeepsItsResultsAcrossRestartsAndBoundsItsTokens) {
  TempGameDir dir;
  const std::string db = (dir.Path() / "s.db").string();
  {
    scores::TSqliteStore store(db);
    store.AddToken("abc", 100);
    ASSERT_TRUE(store.StoreResult("abc", {"Kot", 5, "", 100}, 100));
  }
  scores::TSqliteStore store(db);
  EXPECT_EQ(store.Best(10).size(), 1u);
  // Expired tokens are dropped as new ones are issued.
  store.AddToken("old", 100);
  store.AddToken("new", 100 + TScoreStore::TokenLifetime + 1);
  EXPECT_EQ(store.OpenTokens(), 1);
  EXPECT_THROW(scores::OpenScoreStore((dir.Path() / "no" / "such" / "x.db").string()),
               std::runtime_error);
}

// One client asking for tokens on several connections at once: every request is answered
// (concurrent bounds of one address must not deadlock each other), and the address keeps
// its bound.
TEST(ScoreServer, TokenRequestsAtOnceFromOneAddressAreAllAnswered) {
  Server server;
  std::atomic<int> refused{0};
  std::vector<std::thread> clients;
  for (int t = 0; t < 8; ++t)
    clients.emplace_back([&] {
      for (int i = 0; i < 150; ++i)
        if (server.service.Handle("/cgi/version.pl", "version&prg=Pondlark", "10.9.9.9").Status != 200)
          ++refused;
    });
  for (std::thread& t : clients) t.join();
  EXPECT_EQ(refused, 0);
  EXPECT_EQ(server.store->OpenTokens(), TScoreStore::MaxTokensPerAddress);
}

// Requests at once from many players (on PostgreSQL they go to the database together, in
// shared statements and commits): a result is acknowledged exactly when its row is stored,
// one token serves one result however many send it at once, and on PostgreSQL a result the
// database refuses (a trigger stands in for any failure) fails its request, and whatever
// shared its statement is either stored and acknowledged or failed, never acknowledged and
// lost.
TEST(ScoreServer, ResultsSentAtOnceAreAcknowledgedExactlyWhenStored) {
  Server server;
  const char* url = std::getenv("TK_TEST_SCORE_DB");
  const bool postgres = url && *url;
  if (postgres) {
    PGconn* c = PQconnectdb(url);
    ASSERT_EQ(PQstatus(c), CONNECTION_OK) << PQerrorMessage(c);
    PGresult* r = PQexec(c,
                         "CREATE OR REPLACE FUNCTION test_refuse_bad() RETURNS trigger LANGUAGE plpgsql AS"
                         " $$ BEGIN IF NEW.name = 'Bad' THEN RAISE EXCEPTION 'refused'; END IF; RETURN NEW; END $$;"
                         " CREATE TRIGGER refuse_bad BEFORE INSERT ON results FOR EACH ROW"
                         " EXECUTE FUNCTION test_refuse_bad()");
    ASSERT_EQ(PQresultStatus(r), PGRES_COMMAND_OK) << PQerrorMessage(c);
    PQclear(r);
    PQfinish(c);
  }
  constexpr int kThreads = 16, kRounds = 40;
  struct TSent {
    int Score = 0;
    int Status = 0;
    bool Bad = false;
  };
  std::vector<std::vector<TSent>> sent(kThreads);
  std::vector<std::string> shared(kRounds);
  for (std::string& t : shared) t = server.Token();
  std::vector<std::vector<int>> sharedStatus(kRounds, std::vector<int>(kThreads));
  std::vector<std::thread> players;
  for (int t = 0; t < kThreads; ++t)
    players.emplace_back([&, t] {
      for (int i = 0; i < kRounds; ++i) {
        const std::string token = online::ResultTokenOf(
            server.service.Handle("/cgi/version.pl", "version&prg=Pondlark", "10.7.0." + std::to_string(t)).Body);
        TSent s;
        s.Score = 1000 + t * kRounds + i;
        s.Bad = postgres && i % 10 == t % 10;
        s.Status = server.Submit("type=0|name=" + std::string(s.Bad ? "Bad" : "Ok") + "|score=" +
                                 std::to_string(s.Score) + "|key=T|p=" + token + "|add=|z=").Status;
        sent[t].push_back(s);
        // Every player sends the round's shared token too.
        sharedStatus[i][t] = server.Submit("type=0|name=Same|score=" + std::to_string(i) + "|key=T|p=" +
                                           shared[i] + "|add=|z=").Status;
      }
    });
  for (std::thread& p : players) p.join();

  std::map<int, int> stored;  // score: rows
  for (const TResultRow& row : server.store->Best(100000))
    if (row.Name != "Same") ++stored[row.Score];
  int acknowledged = 0;
  for (const auto& mine : sent)
    for (const TSent& s : mine) {
      SCOPED_TRACE("score " + std::to_string(s.Score));
      EXPECT_TRUE(s.Status == 200 || s.Status == 500) << s.Status;
      EXPECT_EQ(stored.count(s.Score) ? stored[s.Score] : 0, s.Status == 200 ? 1 : 0);
      if (s.Bad) {
        EXPECT_EQ(s.Status, 500);
      }
      if (!postgres) {
        EXPECT_EQ(s.Status, 200);
      }
      acknowledged += s.Status == 200;
    }
  EXPECT_GT(acknowledged, 0);
  for (int i = 0; i < kRounds; ++i) {
    SCOPED_TRACE("shared token " + std::to_string(i));
    // One stored at most; the others refused as used, or failed with a batch a refused
    // result was in. A token that all of them failed with is unused still.
    const auto ok = std::count(sharedStatus[i].begin(), sharedStatus[i].end(), 200);
    EXPECT_LE(ok, 1);
    EXPECT_EQ(ok + std::count(sharedStatus[i].begin(), sharedStatus[i].end(), 403) +
                  (postgres ? std::count(sharedStatus[i].begin(), sharedStatus[i].end(), 500) : 0),
              kThreads);
    if (!postgres) {
      EXPECT_EQ(ok, 1);
    }
    if (ok == 0) {
      EXPECT_EQ(server.Submit("type=0|name=Same|score=1|key=T|p=" + shared[i] + "|add=|z=").Status, 200);
    }
  }
  EXPECT_EQ(server.store->ResultCount(), acknowledged + kRounds);
}

// A table far past the overall bound of open tokens (filled by an older server, say) costs
// no request more than a batch: every token request is answered, a look at the bound
// deletes a batch of the oldest at most, and the tokens just given out stay usable.
TEST(ScoreServer, ATableFarPastItsBoundComesBackABatchAtATime) {
  Server server;
  const int64_t open = TScoreStore::MaxOpenTokens + 3 * TScoreStore::TrimBatch;
  const std::string values = " 'old' || i, " + std::to_string(server.now - 60) + ", 'a' || (i / 1000)";
  const char* url = std::getenv("TK_TEST_SCORE_DB");
  if (url && *url) {
    PGconn* c = PQconnectdb(url);
    PGresult* r = PQexec(c, ("INSERT INTO tokens (token, issued, address) SELECT" + values +
                             " FROM generate_series(1, " + std::to_string(open) + ") i").c_str());
    EXPECT_EQ(PQresultStatus(r), PGRES_COMMAND_OK) << PQerrorMessage(c);
    PQclear(r);
    PQfinish(c);
  } else {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((server.dir.Path() / "scores.db").string().c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db,
                           ("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                            std::to_string(open) + ") INSERT INTO tokens (token, issued, address) SELECT" +
                            values + " FROM n")
                               .c_str(),
                           nullptr, nullptr, nullptr),
              SQLITE_OK)
        << sqlite3_errmsg(db);
    sqlite3_close(db);
  }
  ASSERT_EQ(server.store->OpenTokens(), open);
  std::string last;
  for (int i = 0; i < TScoreStore::TrimEvery; ++i) {
    const TReply r = server.service.Handle("/cgi/version.pl", "version&prg=Pondlark",
                                           "10.2." + std::to_string(i));
    ASSERT_EQ(r.Status, 200) << r.Body;
    last = online::ResultTokenOf(r.Body);
  }
  EXPECT_EQ(server.store->OpenTokens(), open + TScoreStore::TrimEvery - TScoreStore::TrimBatch);
  EXPECT_EQ(server.Submit("type=0|name=Kot|score=10|key=T|p=" + last + "|add=|z=").Status, 200);
}

// A write held up in the database (the tokens' table locked from elsewhere) holds up its
// own request and no other: the table page is read meanwhile, on another connection, and
// the write goes through once the lock is let go.
TEST(ScoreServer, AWriteHeldUpInTheDatabaseHoldsUpNoOtherRequest) {
  Server server;
  ASSERT_EQ(server.Submit("type=0|name=Kot|score=50|key=T|p=" + server.Token() + "|add=|z=").Status,
            200);
  std::function<void()> release;
  std::function<bool()> writeWaits = [] { return true; };
  const char* url = std::getenv("TK_TEST_SCORE_DB");
  if (url && *url) {
    PGconn* c = PQconnectdb(url);
    ASSERT_EQ(PQstatus(c), CONNECTION_OK) << PQerrorMessage(c);
    PQclear(PQexec(c, "BEGIN"));
    PGresult* locked = PQexec(c, "LOCK TABLE tokens IN EXCLUSIVE MODE");
    ASSERT_EQ(PQresultStatus(locked), PGRES_COMMAND_OK) << PQerrorMessage(c);
    PQclear(locked);
    writeWaits = [c] {
      PGresult* r = PQexec(c, "SELECT count(*) FROM pg_locks WHERE NOT granted");
      const bool waits = PQresultStatus(r) == PGRES_TUPLES_OK && std::atoi(PQgetvalue(r, 0, 0)) > 0;
      PQclear(r);
      return waits;
    };
    release = [c] {
      PQclear(PQexec(c, "COMMIT"));
      PQfinish(c);
    };
  } else {
    // SQLite shows nobody waiting for its lock: the page may come before the write starts.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((server.dir.Path() / "scores.db").string().c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    release = [db] {
      sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
      sqlite3_close(db);
    };
  }
  std::atomic<bool> answered{false};
  TReply token;
  std::thread write([&] {
    token = server.Get("version&prg=Pondlark");
    answered = true;
  });
  for (int i = 0; i < 3000 && !writeWaits(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const TReply page = server.Get("prg=Pondlark&type=0&show");
  const bool pageWaited = answered;
  release();
  write.join();
  EXPECT_FALSE(pageWaited) << "the table page waited for a write held up in the database";
  EXPECT_EQ(page.Status, 200);
  EXPECT_NE(page.Body.find("<td>Kot</td>"), std::string::npos);
  EXPECT_EQ(token.Status, 200) << token.Body;
}

// One client asking for tokens in a loop keeps a bounded number open, its oldest going
// first; the tokens of others stay.
TEST(ScoreServer, OneAddressKeepsABoundedNumberOfTokensOpen) {
  Server server;
  auto token = [&](std::string_view address) {
    ++server.now;
    const TReply r = server.service.Handle("/cgi/version.pl", "version&prg=Pondlark", address);
    EXPECT_EQ(r.Status, 200);
    return online::ResultTokenOf(r.Body);
  };
  const std::string other = token("10.0.0.8");
  std::vector<std::string> mine;
  for (int i = 0; i < TScoreStore::MaxTokensPerAddress + 5; ++i) mine.push_back(token("10.0.0.9"));
  EXPECT_EQ(server.store->OpenTokens(), TScoreStore::MaxTokensPerAddress + 1);
  auto submit = [&](const std::string& t) {
    return server.Submit("type=0|name=Kot|score=10|key=T|p=" + t + "|add=|z=").Status;
  };
  EXPECT_EQ(submit(mine.front()), 403);
  EXPECT_EQ(submit(mine.back()), 200);
  EXPECT_EQ(submit(other), 200);
}

TEST(ScoreServer, RawRequestsAreFramedAndRefusedAsOnTheWire) {
  Server server;
  const std::string get = "GET /cgi/version.pl?version&prg=Pondlark HTTP/1.1\r\nHost: x\r\n";
  const struct {
    const char* Why;
    std::string Bytes;
    std::string Status;  // empty: no answer yet
    bool KeepAlive;
  } cases[] = {
      {"a token request", get + "\r\n", "200", true},
      {"HTTP/1.0 closes", "GET /cgi/version.pl?version&prg=Pondlark HTTP/1.0\r\n\r\n", "200", false},
      {"asked to close", get + "Connection: close\r\n\r\n", "200", false},
      {"a body is read and ignored", get + "Content-Length: 3\r\n\r\nabc", "200", true},
      {"POST", "POST /cgi/version.pl?version&prg=Pondlark HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\n\r\n", "405", true},
      {"headers over 8 KB", get + "X-Pad: " + std::string(9000, 'a') + "\r\n\r\n", "431", false},
      {"many small headers", get + [] { std::string h; for (int i = 0; i < 1500; ++i) h += "X: yy\r\n"; return h; }() + "\r\n", "431", false},
      {"a body too large", get + "Content-Length: 5000\r\n\r\n", "413", false},
      {"not HTTP", "HELLO\r\n\r\n", "400", false},
      {"a bad content length", get + "Content-Length: x\r\n\r\n", "400", false},
      {"half a request", get, "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Why);
    const scores::TRawExchange r = scores::AnswerRaw(server.service, c.Bytes);
    if (c.Status.empty()) {
      EXPECT_TRUE(r.Reply.empty()) << r.Reply;
      continue;
    }
    EXPECT_EQ(r.Reply.substr(0, 12), "HTTP/1.1 " + c.Status) << r.Reply.substr(0, 200);
    EXPECT_EQ(r.KeepAlive, c.KeepAlive);
    EXPECT_NE(r.Reply.find("\r\nContent-Length: "), std::string::npos);
  }
  // The token request's reply carries a token the game can use.
  const scores::TRawExchange r = scores::AnswerRaw(server.service, get + "\r\n");
  EXPECT_EQ(online::ResultTokenOf(r.Reply.substr(r.Reply.find("\r\n\r\n") + 4)).size(), 32u);
}

// The protocol's own rules, request by request: HEAD, "Expect", the version, Host, the
// headers every reply carries and the static files' validators.
TEST(ScoreServer, RequestsAreAnsweredAsHttpAsks) {
  Server server;
  const scores::TSite& site = scores::BuiltInSite();
  auto raw = [&](const std::string& bytes) { return scores::AnswerRaw(server.service, bytes, {}, &site); };
  auto header = [](const std::string& reply, const std::string& name) -> std::string {
    const size_t end = reply.find("\r\n\r\n");
    const size_t at = reply.substr(0, end).find("\r\n" + name + ": ");
    if (at == std::string::npos) return "";
    const size_t from = at + name.size() + 4;
    return reply.substr(from, reply.find("\r\n", from) - from);
  };
  auto body = [](const std::string& reply) { return reply.substr(reply.find("\r\n\r\n") + 4); };
  const std::string css = raw("GET /style.css HTTP/1.1\r\nHost: x\r\n\r\n").Reply;
  const std::string tag = header(css, "ETag"), modified = header(css, "Last-Modified");
  ASSERT_EQ(tag.size(), 18u) << css.substr(0, 400);
  ASSERT_FALSE(modified.empty());
  const std::string cssLength = header(css, "Content-Length");

  const struct {
    const char* Why;
    std::string Bytes;
    std::string Status;
    bool KeepAlive;
    std::string Body;  // "*": any, else exactly this
  } cases[] = {
      {"HEAD of a file: GET's header, no body", "HEAD /style.css HTTP/1.1\r\nHost: x\r\n\r\n", "200", true, ""},
      {"HEAD of the table", "HEAD /cgi/version.pl?prg=Pondlark&type=0&show HTTP/1.1\r\nHost: x\r\n\r\n", "200", true, ""},
      {"HEAD of the upload: 405 without a body", "HEAD /cgi/replay.pl?prg=Pondlark&p=x HTTP/1.1\r\nHost: x\r\n\r\n", "405", true, ""},
      {"HEAD of nothing", "HEAD /nothing HTTP/1.1\r\nHost: x\r\n\r\n", "404", true, ""},
      {"DELETE", "DELETE / HTTP/1.1\r\nHost: x\r\n\r\n", "405", true, "*"},
      {"no version", "GET /\r\n\r\n", "400", false, "*"},
      {"HTTP/1.1 without Host", "GET / HTTP/1.1\r\n\r\n", "400", false, "*"},
      {"Host twice", "GET / HTTP/1.1\r\nHost: x\r\nHost: y\r\n\r\n", "400", false, "*"},
      {"HTTP/1.0 without Host", "GET / HTTP/1.0\r\n\r\n", "200", false, "*"},
      {"HTTP/1.0 with Host twice", "GET / HTTP/1.0\r\nHost: x\r\nHost: x\r\n\r\n", "400", false, "*"},
      {"an unknown expectation", "POST /cgi/replay.pl?prg=Pondlark&p=x HTTP/1.1\r\nHost: x\r\nExpect: magic\r\nContent-Length: 4\r\n\r\n", "417", false, "*"},
      {"a body too large is refused before it is asked for",
       "POST /cgi/replay.pl?prg=Pondlark&p=x HTTP/1.1\r\nHost: x\r\nExpect: 100-continue\r\nContent-Length: 99999999\r\n\r\n", "413", false, "*"},
      {"the same tag", "GET /style.css HTTP/1.1\r\nHost: x\r\nIf-None-Match: " + tag + "\r\n\r\n", "304", true, ""},
      {"the tag among others, weak", "GET /style.css HTTP/1.1\r\nHost: x\r\nIf-None-Match: \"a\", W/" + tag + "\r\n\r\n", "304", true, ""},
      {"any tag", "GET / HTTP/1.1\r\nHost: x\r\nIf-None-Match: *\r\n\r\n", "304", true, ""},
      {"another tag", "GET /style.css HTTP/1.1\r\nHost: x\r\nIf-None-Match: \"0\"\r\n\r\n", "200", true, "*"},
      {"not modified since", "GET /style.css HTTP/1.1\r\nHost: x\r\nIf-Modified-Since: " + modified + "\r\n\r\n", "304", true, ""},
      {"modified since 1994", "GET /style.css HTTP/1.1\r\nHost: x\r\nIf-Modified-Since: Sun, 06 Nov 1994 08:49:37 GMT\r\n\r\n", "200", true, "*"},
      {"a date that is none", "GET /style.css HTTP/1.1\r\nHost: x\r\nIf-Modified-Since: yesterday\r\n\r\n", "200", true, "*"},
      {"the tag decides before the date", "GET /style.css HTTP/1.1\r\nHost: x\r\nIf-None-Match: \"0\"\r\nIf-Modified-Since: " + modified + "\r\n\r\n", "200", true, "*"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Why);
    const scores::TRawExchange r = raw(c.Bytes);
    ASSERT_EQ(r.Reply.substr(0, 12), "HTTP/1.1 " + c.Status) << r.Reply.substr(0, 300);
    EXPECT_EQ(r.KeepAlive, c.KeepAlive);
    if (c.Body != "*") {
      EXPECT_EQ(body(r.Reply), c.Body);
    }
    // Every reply, errors included, says how it may be used.
    EXPECT_EQ(header(r.Reply, "X-Content-Type-Options"), "nosniff");
    EXPECT_NE(header(r.Reply, "Content-Security-Policy").find("default-src 'none'"), std::string::npos);
    EXPECT_EQ(header(r.Reply, "Referrer-Policy"), "no-referrer");
  }
  // HEAD tells the length GET sends, and takes only its own bytes: the next request on the
  // connection is read from the right place.
  const std::string head = "HEAD /style.css HTTP/1.1\r\nHost: x\r\n\r\n";
  const scores::TRawExchange h = raw(head + "GET / HTTP/1.1\r\nHost: x\r\n\r\n");
  EXPECT_EQ(header(h.Reply, "Content-Length"), cssLength);
  EXPECT_EQ(header(h.Reply, "ETag"), tag);
  EXPECT_EQ(h.Used, head.size());
  // A 304 carries the validators and no length of a body it does not send.
  const std::string same = raw("GET /style.css HTTP/1.1\r\nHost: x\r\nIf-None-Match: " + tag + "\r\n\r\n").Reply;
  EXPECT_EQ(header(same, "ETag"), tag);
  EXPECT_EQ(header(same, "Content-Length"), "");

  // A client that waits to be asked for its body is asked, once the headers pass.
  const std::string upload = "POST /cgi/replay.pl?prg=Pondlark&p=x HTTP/1.1\r\nHost: x\r\nExpect: 100-continue\r\nContent-Length: 5\r\n\r\n";
  EXPECT_EQ(raw(upload).Reply, "HTTP/1.1 100 Continue\r\n\r\n");
  const std::string answered = raw(upload + "hello").Reply;
  EXPECT_EQ(answered.rfind("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 ", 0), 0u) << answered;
  // Without a body to wait for there is nothing to ask for.
  EXPECT_EQ(raw("GET / HTTP/1.1\r\nHost: x\r\nExpect: 100-continue\r\n\r\n").Reply.substr(0, 12), "HTTP/1.1 200");
}

// A stand-in checker: a shell script in the test's folder.
std::string CheckerScript(const TempGameDir& dir, const std::string& name, const std::string& body) {
  const std::string path = (dir.Path() / name).string();
  std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
  std::filesystem::permissions(path, std::filesystem::perms::owner_all);
  return path;
}

TEST(ScoreServer, ACheckPastItsTimeIsKilledWithWhatItStarted) {
  TempGameDir dir;
  const scores::TCheckerOptions o{CheckerScript(dir, "slow", "sleep 30"), dir.Path().string(), 1, 1, 1,
                                  1024ull << 20};
  const auto start = std::chrono::steady_clock::now();
  const scores::TCheckOutcome out = scores::RunChecker(o, "bytes");
  EXPECT_TRUE(out.TimedOut);
  EXPECT_NE(out.ExitStatus, 0);
  // Killed with its child: the wait does not last the child's 30 s.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(25));
}

TEST(ScoreServer, ACheckGetsNoMoreMemoryThanItsLimit) {
  TempGameDir dir;
  // The time limit is out of reach: a loaded machine may take seconds to start python.
  const scores::TCheckerOptions o{
      CheckerScript(dir, "greedy", "exec python3 -c 'x = bytearray(512 << 20); print(1)'"),
      dir.Path().string(), 1, 1, 120, 128ull << 20};
  const scores::TCheckOutcome out = scores::RunChecker(o, "bytes");
  EXPECT_FALSE(out.TimedOut);
  EXPECT_NE(out.ExitStatus, 0);
}

TEST(ScoreServer, ACheckGetsTheReplayInAFileAndItsArgumentsAsGivenWithNoShellBetween) {
  TempGameDir dir;
  const scores::TCheckerOptions o{CheckerScript(dir, "echo", "cat \"$2\"; echo; echo \"$3 $4 $5\""),
                                  dir.Path().string(), 1, 1, 120, 1024ull << 20};
  const scores::TCheckOutcome out = scores::RunChecker(o, "bytes");
  EXPECT_EQ(out.ExitStatus, 0);
  EXPECT_EQ(out.LastLine, "--verify --dir " + dir.Path().string());
}

#if defined(TK_SIM) && defined(TK_GAME_DIR) && defined(TK_REPLAYS_DIR) && defined(TK_FORGED_DIR)

// A recorded game from tests/replays/ and the result it ended with.
struct RecordedGame {
  RecordedGame() {
    std::ifstream in(std::string(TK_REPLAYS_DIR) + "/name-entry.tkr", std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
    game = replay::ReadReplay(bytes);
  }
  std::string With(const std::function<void(replay::TReplay&)>& change) const {
    replay::TReplay r = game;
    change(r);
    return replay::WriteReplay(r);
  }
  std::string bytes;
  replay::TReplay game;
};

// A server that checks replays on the real checker and the built game's data.
struct CheckingServer : Server {
  CheckingServer()
      : checker(scores::TCheckerOptions{TK_SIM, TK_GAME_DIR, 2, 4, 10, 1024ull << 20}) {
    service.SetChecker(&checker);
  }
  ~CheckingServer() { checker.Drain(); }
  // Sends a result as the game does; returns its token.
  std::string SubmitResult(const std::string& name1251, int32_t score) {
    const std::string token = Token();
    EXPECT_EQ(Submit("type=0|name=" + name1251 + "|score=" + std::to_string(score) + "|key=T|p=" +
                     token + "|add=|z=")
                  .Status,
              200);
    return token;
  }
  TReply Upload(const std::string& token, const std::string& bytes) {
    return service.HandleUpload("prg=Pondlark&p=" + token, bytes);
  }
  scores::TReplayChecker checker;
};

TEST(ScoreServer, AReplayThatPlaysBackToTheResultVerifiesIt) {
  CheckingServer server;
  const RecordedGame g;
  ASSERT_GT(g.game.Trailer.Score, 0);
  const std::string token = server.SubmitResult(g.game.Trailer.PlayerName, g.game.Trailer.Score);
  const TReply r = server.Upload(token, g.bytes);
  EXPECT_EQ(r.Status, 202) << r.Body;
  server.checker.Drain();
  // A verified result takes no more replays.
  EXPECT_EQ(server.Upload(token, g.bytes).Status, 403);
  const auto best = server.store->Best(10);
  ASSERT_EQ(best.size(), 1u);
  EXPECT_TRUE(best[0].Verified);
  EXPECT_EQ(best[0].Name, Cp1251ToUtf8(g.game.Trailer.PlayerName));
  const auto verified = server.store->Best(10, true);
  ASSERT_EQ(verified.size(), 1u);
  // The replay is kept with it; the first result's id is 1 in both stores. The site serves
  // it, and what it proved.
  EXPECT_EQ(server.store->KeptReplay(1), g.bytes);
  EXPECT_EQ(scores::AnswerReplay(*server.store, "/replays/1").Body, g.bytes);
  const nlohmann::json told = nlohmann::json::parse(scores::AnswerReplay(*server.store, "/replays/1.json").Body);
  EXPECT_EQ(told["name"], "Квакуша");
  EXPECT_EQ(told["score"], g.game.Trailer.Score);
  EXPECT_EQ(told["level"], g.game.Trailer.Level);
  EXPECT_GT(g.game.Trailer.Level, 0);
}

TEST(ScoreServer, AReplayThatDoesNotShowTheResultLeavesItUnmarkedAndIsNotKept) {
  const RecordedGame g;
  const std::string name = g.game.Trailer.PlayerName;
  const int32_t score = g.game.Trailer.Score;
  const struct {
    const char* Why;
    std::string SentName;
    int32_t SentScore;
    std::string Replay;
    int Status;  // the upload's answer; 202 when only the check can tell
  } cases[] = {
      {"another score was sent", name, score + 5, g.bytes, 422},
      {"another name was sent", "Kot", score, g.bytes, 202},
      {"a trailer claiming more than the game made", name, score + 5,
       g.With([&](replay::TReplay& r) { r.Trailer.Score = score + 5; }), 202},
      {"recorded on other game data", name, score,
       g.With([](replay::TReplay& r) { r.DataHash ^= 1; }), 202},
      {"a damaged file", name, score, g.bytes.substr(0, g.bytes.size() - 1), 400},
      {"not a replay at all", name, score, "hello", 400},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Why);
    CheckingServer server;
    const std::string token = server.SubmitResult(c.SentName, c.SentScore);
    EXPECT_EQ(server.Upload(token, c.Replay).Status, c.Status);
    server.checker.Drain();
    const auto best = server.store->Best(10);
    ASSERT_EQ(best.size(), 1u);  // the result stays
    EXPECT_FALSE(best[0].Verified);
    EXPECT_TRUE(server.store->Best(10, true).empty());
    EXPECT_EQ(server.store->KeptReplay(1), "");
    EXPECT_EQ(scores::AnswerReplay(*server.store, "/replays/1").Status, 404);
  }
}

// The forgeries: replays made from a genuine recorded game by editing its bytes
// (server/tests/forged/forge.py), and kept games that stop before their end. The checker
// refuses each as no whole game; the genuine game verifies as the name typed in it.
std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in) << path;
  return std::string(std::istreambuf_iterator<char>(in), {});
}
const std::string kForged = TK_FORGED_DIR;

TEST(ScoreServer, TheCheckerProvesOnlyAWholeGamePlayedFromTheMainMenu) {
  const scores::TCheckerOptions o{TK_SIM, TK_GAME_DIR, 1, 1, 60, 1024ull << 20};
  const RecordedGame g;
  const scores::TCheckOutcome genuine = scores::RunChecker(o, g.bytes);
  ASSERT_EQ(genuine.ExitStatus, 0) << genuine.LastLine;
  const nlohmann::json told = nlohmann::json::parse(genuine.LastLine);
  EXPECT_EQ(told["score"], g.game.Trailer.Score);
  EXPECT_EQ(told["name"], "Квакуша");  // typed at its name entry
  EXPECT_EQ(told.size(), 4u) << genuine.LastLine;  // score, level, lives, name: nothing else

  const struct {
    const char* Why;
    std::string Bytes;
  } cases[] = {
      {"starts at game over with a huge score", ReadBytes(kForged + "/game-over-start.tkr")},
      {"starts on the pond", ReadBytes(kForged + "/mid-game.tkr")},
      {"switches scenes on its own", ReadBytes(kForged + "/switched.tkr")},
      {"stops before its game ends", ReadBytes(std::string(TK_REPLAYS_DIR) + "/heart.tkr")},
      {"ends before its name entry",
       g.With([](replay::TReplay& r) { r.Entries.resize(r.Entries.size() - 1); })},
      {"goes on after its game ended",
       g.With([](replay::TReplay& r) { r.Entries.push_back(r.Entries.back()); })},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Why);
    const scores::TCheckOutcome out = scores::RunChecker(o, c.Bytes);
    EXPECT_EQ(out.ExitStatus, 3) << out.LastLine;  // not a whole game
    EXPECT_EQ(out.LastLine, "");
  }
  // The window timers fire as the replayed game set them: a stage clock firing dropped or
  // moved (which could stretch the feeding stage) is refused, and says which.
  const struct {
    const char* File;
    const char* Reason;
  } timers[] = {
      {"dropped-firing.tkr", "LevelTimer's firing due at "},
      {"late-firing.tkr", "LevelTimer's firing due at "},
      {"early-firing.tkr", "ms before it is due"},
  };
  for (const auto& c : timers) {
    SCOPED_TRACE(c.File);
    const scores::TCheckOutcome out = scores::RunChecker(o, ReadBytes(kForged + "/" + c.File));
    EXPECT_EQ(out.ExitStatus, 3) << out.LastLine;
    EXPECT_EQ(out.LastLine, "");
    EXPECT_NE(out.LastWords.find(c.Reason), std::string::npos) << out.LastWords;
  }
  // The trailer's name is no evidence: the game's own name entry says who played.
  const scores::TCheckOutcome renamed = scores::RunChecker(o, ReadBytes(kForged + "/renamed.tkr"));
  ASSERT_EQ(renamed.ExitStatus, 0);
  EXPECT_EQ(nlohmann::json::parse(renamed.LastLine)["name"], "Квакуша");
}

TEST(ScoreServer, AForgedReplayVerifiesNoResult) {
  const RecordedGame g;
  const std::string name = g.game.Trailer.PlayerName;
  const int32_t score = g.game.Trailer.Score;
  const struct {
    const char* Why;
    std::string SentName;
    int32_t SentScore;
    std::string File;
  } cases[] = {
      {"a start at game over with 14 000 000", name, 14'000'000, "game-over-start.tkr"},
      {"the trailer renamed to the name sent", "Kot", score, "renamed.tkr"},
      {"a game started on the pond", name, score, "mid-game.tkr"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Why);
    CheckingServer server;
    const std::string token = server.SubmitResult(c.SentName, c.SentScore);
    EXPECT_EQ(server.Upload(token, ReadBytes(kForged + "/" + c.File)).Status, 202);
    server.checker.Drain();
    EXPECT_TRUE(server.store->Best(10, true).empty());
    EXPECT_EQ(server.store->KeptReplay(1), "");
  }
}

TEST(ScoreServer, OneGameVerifiesOneResult) {
  CheckingServer server;
  const RecordedGame g;
  const std::string first = server.SubmitResult(g.game.Trailer.PlayerName, g.game.Trailer.Score);
  const std::string second = server.SubmitResult(g.game.Trailer.PlayerName, g.game.Trailer.Score);
  const std::string third = server.SubmitResult(g.game.Trailer.PlayerName, g.game.Trailer.Score);
  ASSERT_EQ(server.Upload(first, g.bytes).Status, 202);
  server.checker.Drain();
  // The same file again, and the same game under another start (the same journal and
  // seed): the game verified its result already.
  EXPECT_EQ(server.Upload(second, g.bytes).Status, 202);
  EXPECT_EQ(server.Upload(third, ReadBytes(kForged + "/other-start.tkr")).Status, 202);
  server.checker.Drain();
  const auto rows = server.store->Best(10);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(server.store->Best(10, true).size(), 1u);
  EXPECT_TRUE(rows[0].Verified);  // the earliest of equal scores comes first
  EXPECT_EQ(server.store->KeptReplay(2), "");
  EXPECT_EQ(server.store->KeptReplay(3), "");
}

TEST(ScoreServer, ARefusedUploadLeavesTheResultToItsGenuineReplay) {
  CheckingServer server;
  const RecordedGame g;
  const std::string token = server.SubmitResult(g.game.Trailer.PlayerName, g.game.Trailer.Score);
  // Whoever holds the token (it travels in the URL) may send anything: none of it costs
  // the game its result.
  EXPECT_EQ(server.Upload(token, "not a replay").Status, 400);
  EXPECT_EQ(server.Upload(token, g.With([](replay::TReplay& r) { r.Trailer.Score += 1; })).Status, 422);
  EXPECT_EQ(server.Upload(token, ReadBytes(kForged + "/switched.tkr")).Status, 202);
  server.checker.Drain();
  EXPECT_TRUE(server.store->Best(10, true).empty());
  ASSERT_EQ(server.Upload(token, g.bytes).Status, 202);
  server.checker.Drain();
  EXPECT_EQ(server.store->Best(10, true).size(), 1u);
  // Verified: the token is done with.
  EXPECT_EQ(server.Upload(token, g.bytes).Status, 403);
}

// A replay that drives the checker past one of its limits (processor time, what it prints,
// the size of a file it writes, memory, the wall clock), played by stand-in checkers that
// misbehave so on purpose: the check is refused with its reason in the server's log,
// neither its folder nor any process it started is left, and the result waits unverified
// for its genuine replay, which then verifies it.
TEST(ScoreServer, AChecksLimitsRefuseItLeavingNothingAndTheResultToItsGenuineReplay) {
  const RecordedGame g;
  const struct {
    const char* Name;
    const char* Body;  // after the lines that note its process and start a child
    int Seconds, CpuSeconds;
    uint64_t MemoryBytes;
    const char* Reason;
  } cases[] = {
      {"spins", "while :; do :; done", 600, 1, 1024ull << 20, "out of processor time (1 s)"},
      {"chatters", "head -c 100000 /dev/zero | tr '\\0' x", 600, 0, 1024ull << 20,
       "printed 100000 bytes, more than its one line of 4096"},
      {"two-lines", "echo '{\"score\": 1}'; echo '{\"score\": 1}'", 600, 0, 1024ull << 20,
       "printed 2 lines, not its one"},
      {"fills-disk", "exec head -c 100000000 /dev/zero >\"$TMPDIR/big\"", 600, 0, 1024ull << 20,
       "wrote a file past its limit (1048576 bytes)"},
      {"greedy", "exec python3 -c 'x = bytearray(1 << 30)'", 600, 0, 256ull << 20,
       "checker exit 1: MemoryError"},
      {"sleeps", "exec sleep 100000", 2, 0, 1024ull << 20, "out of time (2 s)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    Server server;
    // The checks' folders go where this test can look for them.
    const std::filesystem::path tmp = server.dir.Path() / "tmp";
    std::filesystem::create_directories(tmp);
    const char* oldTmp = std::getenv("TMPDIR");
    const std::string keptTmp = oldTmp ? oldTmp : "";
    setenv("TMPDIR", tmp.c_str(), 1);
    const std::string pids = (server.dir.Path() / "pids").string();
    const std::string script = CheckerScript(
        server.dir, c.Name,
        "sleep 100000 &\necho $! >>" + pids + "\necho $$ >>" + pids + "\n" + c.Body);
    const std::string token = [&] {
      const std::string t = server.Token();
      EXPECT_EQ(server.Submit("type=0|name=" + g.game.Trailer.PlayerName + "|score=" +
                              std::to_string(g.game.Trailer.Score) + "|key=T|p=" + t + "|add=|z=")
                    .Status,
                200);
      return t;
    }();
    {
      scores::TCheckerOptions o{script, TK_GAME_DIR, 1, 4, c.Seconds, c.MemoryBytes};
      o.CpuSeconds = c.CpuSeconds;
      scores::TReplayChecker checker(o);
      server.service.SetChecker(&checker);
      ::testing::internal::CaptureStderr();
      EXPECT_EQ(server.service.HandleUpload("prg=Pondlark&p=" + token, g.bytes).Status, 202);
      checker.Drain();
      const std::string log = ::testing::internal::GetCapturedStderr();
      EXPECT_NE(log.find("the replay of result 1 was not verified (" + std::string(c.Reason) + ")"),
                std::string::npos)
          << log;
    }
    server.service.SetChecker(nullptr);
    if (oldTmp) setenv("TMPDIR", keptTmp.c_str(), 1);
    else unsetenv("TMPDIR");
    EXPECT_TRUE(std::filesystem::is_empty(tmp)) << "a check's folder was left";
    // Its processes go with it: gone, or dead and waiting for their parent to notice.
    std::ifstream pidFile(pids);
    for (long pid; pidFile >> pid;) {
      auto gone = [pid] {
        if (::kill(static_cast<pid_t>(pid), 0) != 0) return true;
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), {});
        const size_t paren = text.rfind(')');
        return paren != std::string::npos && text.size() > paren + 2 && text[paren + 2] == 'Z';
      };
      for (int i = 0; i < 3000 && !gone(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      EXPECT_TRUE(gone()) << "process " << pid << " of the check runs on";
    }
    EXPECT_TRUE(server.store->Best(10, true).empty());
    scores::TReplayChecker genuine(scores::TCheckerOptions{TK_SIM, TK_GAME_DIR, 1, 4, 60, 1024ull << 20});
    server.service.SetChecker(&genuine);
    EXPECT_EQ(server.service.HandleUpload("prg=Pondlark&p=" + token, g.bytes).Status, 202);
    genuine.Drain();
    EXPECT_EQ(server.store->Best(10, true).size(), 1u);
  }
}

TEST(ScoreServer, UploadsNeedTheirResultsTokenAndFitTheCap) {
  CheckingServer server;
  const RecordedGame g;
  EXPECT_EQ(server.Upload("0123456789abcdef0123456789abcdef", g.bytes).Status, 403);
  // A token handed out but never used for a result has no result to verify.
  EXPECT_EQ(server.Upload(server.Token(), g.bytes).Status, 403);
  const std::string token = server.SubmitResult(g.game.Trailer.PlayerName, g.game.Trailer.Score);
  EXPECT_EQ(server.service.HandleUpload("prg=Other&p=" + token, g.bytes).Status, 400);
  EXPECT_EQ(server.service.HandleUpload("prg=Pondlark&p=" + token + "&p=x", g.bytes).Status, 400);
  // An hour later the result takes no replay.
  server.now += TScoreStore::TokenLifetime + 1;
  EXPECT_EQ(server.Upload(token, g.bytes).Status, 403);

  // Through the transport: only this path takes POST, and only up to the cap.
  const std::string post = "POST /cgi/replay.pl?prg=Pondlark&p=" + token + " HTTP/1.1\r\nHost: x\r\n";
  scores::TServerLimits limits;
  limits.ReplayBytes = 64 * 1024;
  const struct {
    const char* Why;
    std::string Bytes;
    std::string Status;
  } cases[] = {
      {"over the cap", post + "Content-Length: " + std::to_string(limits.ReplayBytes + 1) + "\r\n\r\n", "413"},
      {"chunked over the cap",
       post + "Transfer-Encoding: chunked\r\n\r\n10001\r\n" + std::string(0x10001, 'a') + "\r\n0\r\n\r\n",
       "413"},
      {"a large body elsewhere",
       "POST /cgi/version.pl?version&prg=Pondlark HTTP/1.1\r\nContent-Length: 60000\r\n\r\n", "413"},
      {"a replay within the cap", post + "Content-Length: " + std::to_string(g.bytes.size()) + "\r\n\r\n" + g.bytes,
       "403"},  // expired above: answered by the service, not the transport
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Why);
    const scores::TRawExchange r = scores::AnswerRaw(server.service, c.Bytes, limits);
    EXPECT_EQ(r.Reply.substr(0, 12), "HTTP/1.1 " + c.Status) << r.Reply.substr(0, 200);
  }
}

// One check at a time and one waiting: a third upload is turned away and keeps its token.
// The stand-in checker holds its run until the test opens the gate.
TEST(ScoreServer, OneCheckRunsOneWaitsAndAThirdUploadIsTurnedAwayKeepingItsToken) {
  TempGameDir dir;
  const std::string gate = (dir.Path() / "gate").string();
  const std::string held = CheckerScript(
      dir, "held", "for i in $(seq 1200); do [ -e '" + gate + "' ] && exit 0; sleep 0.05; done; exit 1");
  Server server;
  scores::TReplayChecker checker({held, dir.Path().string(), 1, 1, 120, 1024ull << 20});
  server.service.SetChecker(&checker);
  const RecordedGame g;
  std::vector<std::string> tokens;
  for (int i = 0; i < 3; ++i) {
    tokens.push_back(server.Token());
    ASSERT_EQ(server.Submit("type=0|name=" + g.game.Trailer.PlayerName + "|score=" +
                            std::to_string(g.game.Trailer.Score) + "|key=T|p=" + tokens.back() +
                            "|add=|z=")
                  .Status,
              200);
  }
  EXPECT_EQ(server.service.HandleUpload("prg=Pondlark&p=" + tokens[0], g.bytes).Status, 202);
  // Once the first one runs, one more may wait.
  for (int i = 0; i < 6000 && server.service.WaitingChecks() > 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_EQ(server.service.WaitingChecks(), 0);
  EXPECT_EQ(server.service.HandleUpload("prg=Pondlark&p=" + tokens[1], g.bytes).Status, 202);
  EXPECT_EQ(server.service.HandleUpload("prg=Pondlark&p=" + tokens[2], g.bytes).Status, 503);
  std::ofstream(gate) << "open";
  checker.Drain();
  EXPECT_EQ(server.service.HandleUpload("prg=Pondlark&p=" + tokens[2], g.bytes).Status, 202);
  checker.Drain();
  EXPECT_TRUE(server.store->Best(10, true).empty());  // the stand-in checker printed no state
}

// One address gets a few checks at a time, whatever its tokens: the others' replays still
// find room in the queue.
TEST(ScoreServer, OneAddressCannotFillTheCheckQueue) {
  TempGameDir dir;
  const std::string gate = (dir.Path() / "gate").string();
  const std::string held = CheckerScript(
      dir, "held", "for i in $(seq 1200); do [ -e '" + gate + "' ] && exit 0; sleep 0.05; done; exit 1");
  Server server;
  scores::TCheckerOptions o{held, dir.Path().string(), 1, 10, 120, 1024ull << 20};
  o.PerAddress = 2;
  scores::TReplayChecker checker(o);
  server.service.SetChecker(&checker);
  const RecordedGame g;
  auto upload = [&](const std::string& address) {
    const std::string token = server.Token();
    EXPECT_EQ(server.Submit("type=0|name=" + g.game.Trailer.PlayerName + "|score=" +
                            std::to_string(g.game.Trailer.Score) + "|key=T|p=" + token + "|add=|z=")
                  .Status,
              200);
    return server.service.HandleUpload("prg=Pondlark&p=" + token, g.bytes, address).Status;
  };
  EXPECT_EQ(upload("10.0.0.1"), 202);
  EXPECT_EQ(upload("10.0.0.1"), 202);
  EXPECT_EQ(upload("10.0.0.1"), 503);
  EXPECT_EQ(upload("10.0.0.2"), 202);
  std::ofstream(gate) << "open";
  checker.Drain();
  // Checked: the address has its share again.
  EXPECT_EQ(upload("10.0.0.1"), 202);
  checker.Drain();
}

// The queue lives in the database: a check a server took and never finished (it died) is
// taken again by the next server to look once its lease has run out.
TEST(ScoreServer, ACheckLeftByADeadServerIsDoneByTheNext) {
  const RecordedGame g;
  Server server;
  const std::string token = server.Token();
  ASSERT_EQ(server.Submit("type=0|name=" + g.game.Trailer.PlayerName + "|score=" +
                          std::to_string(g.game.Trailer.Score) + "|key=T|p=" + token + "|add=|z=")
                .Status,
            200);
  // What the dead server left: the replay queued, and taken by it.
  ASSERT_EQ(server.store->QueueCheck(1, "127.0.0.1", g.bytes, scores::ReplayDigest(g.game), 10, 10),
            TScoreStore::TQueued::Yes);
  ASSERT_TRUE(server.store->TakeCheck(server.now, server.now + 25));
  EXPECT_EQ(server.store->WaitingChecks(server.now), 0);
  scores::TReplayChecker checker(scores::TCheckerOptions{TK_SIM, TK_GAME_DIR, 2, 4, 10, 1024ull << 20});
  server.service.SetChecker(&checker);
  checker.Drain();
  EXPECT_TRUE(server.store->Best(10, true).empty());  // still leased to the dead server
  server.now += 26;
  checker.Drain();
  EXPECT_EQ(server.store->Best(10, true).size(), 1u);
  EXPECT_EQ(server.store->WaitingChecks(server.now), 0);
}

TEST(ScoreServer, TheTableMarksVerifiedResultsAndCanListOnlyThem) {
  CheckingServer server;
  const RecordedGame g;
  const std::string token = server.SubmitResult(g.game.Trailer.PlayerName, g.game.Trailer.Score);
  server.SubmitResult("Kot", g.game.Trailer.Score + 1000);  // an older game's: no replay
  ASSERT_EQ(server.Upload(token, g.bytes).Status, 202);
  server.checker.Drain();
  const std::string all = server.Get("prg=Pondlark&type=0&show").Body;
  const std::string only = server.Get("prg=Pondlark&type=0&show&verified").Body;
  const std::string name = Cp1251ToUtf8(g.game.Trailer.PlayerName);
  EXPECT_NE(all.find("<td>Kot</td>"), std::string::npos);
  EXPECT_NE(all.find("<td>" + name + " <span class=\"verified\""), std::string::npos);
  EXPECT_EQ(only.find("Kot"), std::string::npos);
  EXPECT_NE(only.find("<td>" + name + " <span class=\"verified\""), std::string::npos);
  EXPECT_NE(only.find(std::to_string(g.game.Trailer.Score)), std::string::npos);
}

#endif

TEST(ScoreServer, AnOlderServersDatabaseKeepsItsResultsUnverified) {
  TempGameDir dir;
  const std::string db = (dir.Path() / "old.db").string();
  {
    // The tables as the first version of the server left them.
    sqlite3* c = nullptr;
    ASSERT_EQ(sqlite3_open(db.c_str(), &c), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(c,
                           "CREATE TABLE tokens (token TEXT PRIMARY KEY, issued INTEGER NOT NULL);"
                           "CREATE TABLE results (id INTEGER PRIMARY KEY, name TEXT NOT NULL,"
                           " score INTEGER NOT NULL, country TEXT NOT NULL, time INTEGER NOT NULL);"
                           "INSERT INTO results VALUES (1, 'Kot', 70, '', 5);"
                           "INSERT INTO tokens VALUES ('tok', 100);"
                           "PRAGMA user_version = 1;",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(c);
  }
  scores::TSqliteStore store(db);
  const auto rows = store.Best(10);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].Name, "Kot");
  EXPECT_FALSE(rows[0].Verified);
  // Its open token still takes a result, and that result a replay, until one verifies it.
  ASSERT_TRUE(store.StoreResult("tok", {"Pes", 80, "", 100}, 100));
  const auto claim = store.ClaimReplay("tok", 100);
  ASSERT_TRUE(claim);
  EXPECT_EQ(claim->Name, "Pes");
  ASSERT_TRUE(store.ClaimReplay("tok", 100));
  EXPECT_TRUE(store.KeepVerified(claim->Id, "replay", "digest"));
  EXPECT_FALSE(store.ClaimReplay("tok", 100));
  EXPECT_TRUE(store.Best(10, true).size() == 1);
}

TEST(ScoreServer, ReplaysAreRefusedWhereNoCheckerRuns) {
  Server server;
  const std::string token = server.Token();
  ASSERT_EQ(server.Submit("type=0|name=Kot|score=10|key=T|p=" + token + "|add=|z=").Status, 200);
  EXPECT_EQ(server.service.HandleUpload("prg=Pondlark&p=" + token, "x").Status, 503);
  EXPECT_FALSE(server.store->Best(1).at(0).Verified);
}

TEST(ScoreServer, ServesTheWebsiteTheGameLinksTo) {
  Server server;
  const scores::TSite& site = scores::BuiltInSite();
  auto get = [&](const std::string& target) {
    return scores::AnswerRaw(server.service, "GET " + target + " HTTP/1.1\r\nHost: x\r\n\r\n", {}, &site).Reply;
  };
  const std::string home = get("/");
  ASSERT_EQ(home.rfind("HTTP/1.1 200", 0), 0u) << home.substr(0, 200);
  EXPECT_NE(home.find("Content-Type: text/html; charset=utf-8"), std::string::npos);
  EXPECT_NE(home.find("<html lang=\"ru\">"), std::string::npos);
  EXPECT_EQ(home.find("<script"), std::string::npos);
  // Every picture and the stylesheet the page names are served, the pictures as PNG.
  size_t at = 0;
  int pictures = 0;
  while ((at = home.find("src=\"/", at)) != std::string::npos) {
    const size_t end = home.find('"', at + 5);
    const std::string png = get(home.substr(at + 5, end - at - 5));
    EXPECT_EQ(png.rfind("HTTP/1.1 200", 0), 0u) << home.substr(at, end - at);
    EXPECT_EQ(png.substr(png.find("\r\n\r\n") + 4, 4), "\x89PNG");
    ++pictures;
    at = end;
  }
  EXPECT_EQ(pictures, 3);
  EXPECT_NE(get("/style.css").find("Content-Type: text/css"), std::string::npos);
  EXPECT_EQ(get("/index.html").rfind("HTTP/1.1 200", 0), 0u);
  // The table page shares the stylesheet and links back home; other paths stay unknown.
  const std::string table = get("/cgi/version.pl?prg=Pondlark&type=0&show");
  EXPECT_NE(table.find("href=\"/style.css\""), std::string::npos);
  EXPECT_NE(table.find("href=\"/\""), std::string::npos);
  EXPECT_EQ(get("/shots/").rfind("HTTP/1.1 404", 0), 0u);
  EXPECT_EQ(get("/../etc/passwd").rfind("HTTP/1.1 404", 0), 0u);
}

}  // namespace
}  // namespace tk::testing

