// The store in PostgreSQL, for several servers behind one address. A token's single use is
// the database's to enforce: the result is inserted only from the row a DELETE took, and
// two servers deleting the same row cannot both succeed.
// Each server holds a few connections, one operation on each at a time: a statement that
// hangs (a frozen backend, a lock held elsewhere) holds up its own connection's requests
// and nothing else. Token requests and results that wait for a connection together go to
// the database together, one statement and one commit for them all, and each is answered
// only once that commit is done.
#include <libpq-fe.h>
#include <poll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "ScoreStore.h"

namespace tk::scores {

namespace {

class TResult {
 public:
  explicit TResult(PGresult* r) : r_(r) {}
  ~TResult() { PQclear(r_); }
  TResult(TResult&& o) noexcept : r_(o.r_) { o.r_ = nullptr; }
  TResult(const TResult&) = delete;
  TResult& operator=(const TResult&) = delete;
  PGresult* get() const { return r_; }

 private:
  PGresult* r_;
};

// PostgreSQL's base64 (lines of 76 characters) back to bytes.
std::string FromBase64(std::string_view text) {
  std::string out;
  uint32_t acc = 0;
  int bits = 0;
  for (char ch : text) {
    int v;
    if (ch >= 'A' && ch <= 'Z') v = ch - 'A';
    else if (ch >= 'a' && ch <= 'z') v = ch - 'a' + 26;
    else if (ch >= '0' && ch <= '9') v = ch - '0' + 52;
    else if (ch == '+') v = 62;
    else if (ch == '/') v = 63;
    else continue;  // line breaks and padding
    acc = (acc << 6) | static_cast<uint32_t>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<char>((acc >> bits) & 0xff));
    }
  }
  return out;
}

// The URL with a bound on connecting, unless it sets its own.
std::string ConnectString(const std::string& url) {
  if (url.find("connect_timeout=") != std::string::npos) return url;
  return url + (url.find('?') == std::string::npos ? "?" : "&") + "connect_timeout=5";
}

// One connection to the database, used by one request at a time.
class TPgConnection {
 public:
  explicit TPgConnection(std::string url) : url_(std::move(url)) {}
  ~TPgConnection() { Drop(); }
  TPgConnection(const TPgConnection&) = delete;
  TPgConnection& operator=(const TPgConnection&) = delete;

  void Exec(const char* sql, bool check = true) {
    const TResult r(Query(sql, 0, nullptr, nullptr, nullptr, 0));
    if (check) Check(r);
  }

  TResult Run(const char* sql, const std::vector<std::string>& params) {
    std::vector<const char*> values;
    for (const std::string& p : params) values.push_back(p.c_str());
    TResult r(Query(sql, static_cast<int>(values.size()), values.data(), nullptr, nullptr, 0));
    Check(r);
    return r;
  }

  void Check(const TResult& r) {
    const ExecStatusType st = PQresultStatus(r.get());
    if (st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK) return;
    const std::string msg = conn_ ? PQerrorMessage(conn_) : "no connection";
    // A dropped connection is made again by the next request.
    if (conn_ && PQstatus(conn_) == CONNECTION_BAD) Drop();
    throw std::runtime_error("database: " + msg);
  }

  // One statement with a deadline of our own: a database that does not answer in time
  // (a frozen backend cannot even enforce its statement timeout) costs this request an
  // error, and the connection is dropped and made anew for the next one.
  TResult Query(const char* sql, int n, const char* const* values, const int* lengths,
                const int* formats, int resultFormat) {
    if (!conn_) Connect();
    return Await(PQsendQueryParams(conn_, sql, n, nullptr, values, lengths, formats, resultFormat));
  }

  // The same through a statement prepared on this connection the first time it is used
  // here (`name` stands for `sql`): parsed and planned once, not for every request.
  TResult Prepared(const char* name, const char* sql, int n, const char* const* values,
                   const int* lengths, const int* formats, int resultFormat) {
    if (!conn_) Connect();
    if (std::find(prepared_.begin(), prepared_.end(), name) == prepared_.end()) {
      const TResult p = Await(PQsendPrepare(conn_, name, sql, 0, nullptr));
      Check(p);
      prepared_.push_back(name);
    }
    return Await(PQsendQueryPrepared(conn_, name, n, values, lengths, formats, resultFormat));
  }

  TResult RunPrepared(const char* name, const char* sql, const std::vector<std::string>& params) {
    std::vector<const char*> values;
    for (const std::string& p : params) values.push_back(p.c_str());
    TResult r = Prepared(name, sql, static_cast<int>(values.size()), values.data(), nullptr, nullptr, 0);
    Check(r);
    return r;
  }

  // Connected now, unless it is already; the statements connect anew after a drop.
  void Open() {
    if (!conn_) Connect();
  }

 private:
  void Connect() {
    conn_ = PQconnectdb(url_.c_str());
    if (!conn_ || PQstatus(conn_) != CONNECTION_OK) {
      const std::string msg = conn_ ? PQerrorMessage(conn_) : "out of memory";
      Drop();
      throw std::runtime_error("cannot open the PostgreSQL database: " + msg);
    }
    // The server's own bound, a little inside ours; and no notices on stderr.
    for (const char* sql : {"SET client_min_messages = warning", "SET statement_timeout = 4000",
                            "SET lock_timeout = 4000"}) {
      const TResult r(PQexec(conn_, sql));
      Check(r);
    }
  }

  // The answer to what `sent` sent (false: it could not be sent), within the deadline.
  TResult Await(int sent) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(QuerySeconds);
    auto wait = [&](short events) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
      pollfd p{PQsocket(conn_), events, 0};
      return left > 0 && ::poll(&p, 1, static_cast<int>(left)) > 0;
    };
    auto giveUp = [&]() -> TResult {
      if (PGcancel* c = PQgetCancel(conn_)) {
        char err[256];
        PQcancel(c, err, sizeof err);
        PQfreeCancel(c);
      }
      Drop();
      throw std::runtime_error("database: no answer within " + std::to_string(QuerySeconds) + " s");
    };
    if (!sent) return TResult(nullptr);
    for (int f; (f = PQflush(conn_)) != 0;) {
      if (f < 0) return TResult(nullptr);
      if (!wait(POLLOUT | POLLIN)) return giveUp();
      if (!PQconsumeInput(conn_)) return TResult(nullptr);
    }
    PGresult* last = nullptr;
    for (;;) {
      while (PQisBusy(conn_)) {
        if (!wait(POLLIN)) {
          PQclear(last);
          return giveUp();
        }
        if (!PQconsumeInput(conn_)) {
          PQclear(last);
          return TResult(nullptr);
        }
      }
      PGresult* r = PQgetResult(conn_);
      if (!r) break;
      PQclear(last);
      last = r;
    }
    return TResult(last);
  }

  void Drop() {
    PQfinish(conn_);
    conn_ = nullptr;
    prepared_.clear();
  }

  static constexpr int QuerySeconds = 5;
  std::string url_;
  PGconn* conn_ = nullptr;
  std::vector<std::string> prepared_;  // the names prepared on this connection
};

class TPostgresStore final : public TScoreStore {
 public:
  // All the connections are made at the start, so a database that takes fewer than the
  // server needs stops it there rather than failing requests later.
  TPostgresStore(const std::string& url, int connections) {
    for (int i = 0; i < std::max(connections, 1); ++i) {
      connections_.push_back(std::make_unique<TPgConnection>(ConnectString(url)));
      connections_.back()->Open();
      if (i == 0) CreateSchema(connections_.back().get());
      idle_.push_back(connections_.back().get());
    }
  }

  // Token requests and results arriving together share one statement, and so one
  // transaction and one commit (see Batched). Each is answered once that commit is done,
  // and a batch that fails fails each of its requests.
  void AddToken(const std::string& token, int64_t now, const std::string& address) override {
    TTokenItem item;
    item.Token = token;
    item.Now = now;
    item.Address = address;
    Batched(tokenQueue_, item, [this](TPgConnection& c, const std::vector<TTokenItem*>& batch) {
      AddTokens(c, batch);
    });
  }

  bool StoreResult(const std::string& token, const TResultRow& row, int64_t now) override {
    TResultItem item;
    item.Token = token;
    item.Row = row;
    item.Now = now;
    Batched(resultQueue_, item, [](TPgConnection& c, const std::vector<TResultItem*>& batch) {
      StoreResults(c, batch);
    });
    return item.Stored;
  }

  std::optional<TReplayClaim> ClaimReplay(const std::string& token, int64_t now) override {
    const TLease c = Take();
    const TResult r = c->RunPrepared("claim", "SELECT id, name, score FROM results WHERE token = $1"
                                     " AND time >= $2 AND NOT verified",
                          {token, std::to_string(now - TokenLifetime)});
    if (PQntuples(r.get()) != 1) return std::nullopt;
    return TReplayClaim{std::stoll(PQgetvalue(r.get(), 0, 0)), PQgetvalue(r.get(), 0, 1),
                        static_cast<int32_t>(std::stol(PQgetvalue(r.get(), 0, 2)))};
  }

  bool KeepVerified(int64_t id, const std::string& replay, const std::string& digest) override {
    const TLease c = Take();
    const std::string idText = std::to_string(id);
    const char* values[] = {replay.data(), digest.c_str(), idText.c_str()};
    const int lengths[] = {static_cast<int>(replay.size()), 0, 0};
    const int formats[] = {1, 0, 0};  // the replay goes as bytes, the rest as text
    const TResult r(c->Query(
        "UPDATE results SET verified = true, replay = $1, replay_digest = $2, token = NULL"
        " WHERE id = $3 AND NOT verified"
        " AND NOT EXISTS (SELECT 1 FROM results WHERE replay_digest = $2)",
        3, values, lengths, formats, 0));
    // Two servers proving two results with one replay at once: the unique index turns the
    // later one away.
    const char* state = PQresultErrorField(r.get(), PG_DIAG_SQLSTATE);
    if (state && std::string(state) == "23505") return false;
    c->Check(r);
    return std::string(PQcmdTuples(r.get())) == "1";
  }

  TQueued QueueCheck(int64_t resultId, const std::string& address, const std::string& replay,
                     const std::string& digest, int maxWaiting, int maxPerAddress) override {
    const TLease c = Take();
    c->Exec("BEGIN");
    try {
      // The servers of one database count the queue one at a time.
      c->Exec("SELECT pg_advisory_xact_lock(8642018)");
      const TResult counts = c->Run(
          "SELECT (SELECT count(*) FROM checks WHERE lease_until IS NULL),"
          " (SELECT count(*) FROM checks WHERE address = $1)",
          {address});
      TQueued q = TQueued::Yes;
      if (std::stoll(PQgetvalue(counts.get(), 0, 0)) >= maxWaiting) q = TQueued::QueueFull;
      else if (std::stoll(PQgetvalue(counts.get(), 0, 1)) >= maxPerAddress) q = TQueued::AddressFull;
      if (q == TQueued::Yes) {
        const std::string idText = std::to_string(resultId);
        const char* values[] = {idText.c_str(), address.c_str(), replay.data(), digest.c_str()};
        const int lengths[] = {0, 0, static_cast<int>(replay.size()), 0};
        const int formats[] = {0, 0, 1, 0};
        const TResult r(c->Query(
            "INSERT INTO checks (result_id, address, replay, digest) VALUES ($1, $2, $3, $4)",
            4, values, lengths, formats, 0));
        c->Check(r);
      }
      c->Exec("COMMIT");
      return q;
    } catch (...) {
      c->Exec("ROLLBACK", false);
      throw;
    }
  }

  std::optional<TQueuedCheck> TakeCheck(int64_t now, int64_t leaseUntil) override {
    const TLease c = Take();
    // One statement: rows another server is taking are skipped, not waited for, and a
    // row goes to one server only.
    const TResult r = c->Run(
        "WITH next AS (SELECT id FROM checks WHERE lease_until IS NULL OR lease_until <= $1"
        "  ORDER BY id LIMIT 1 FOR UPDATE SKIP LOCKED)"
        " UPDATE checks c SET lease_until = $2, attempts = c.attempts + 1"
        " FROM next, results r WHERE c.id = next.id AND r.id = c.result_id"
        " RETURNING c.id, c.result_id, r.name, r.score, encode(c.replay, 'base64'), c.digest,"
        " c.attempts",
        {std::to_string(now), std::to_string(leaseUntil)});
    if (PQntuples(r.get()) != 1) return std::nullopt;
    TQueuedCheck check;
    check.Id = std::stoll(PQgetvalue(r.get(), 0, 0));
    check.Claim = {std::stoll(PQgetvalue(r.get(), 0, 1)), PQgetvalue(r.get(), 0, 2),
               static_cast<int32_t>(std::stol(PQgetvalue(r.get(), 0, 3)))};
    check.Replay = FromBase64(PQgetvalue(r.get(), 0, 4));
    check.Digest = PQgetvalue(r.get(), 0, 5);
    check.Attempts = std::stoi(PQgetvalue(r.get(), 0, 6));
    return check;
  }

  void FinishCheck(int64_t id) override {
    const TLease c = Take();
    c->Run("DELETE FROM checks WHERE id = $1", {std::to_string(id)});
  }

  int WaitingChecks(int64_t now) override {
    const TLease c = Take();
    const TResult r = c->Run("SELECT count(*) FROM checks WHERE lease_until IS NULL OR lease_until <= $1",
                          {std::to_string(now)});
    return std::stoi(PQgetvalue(r.get(), 0, 0));
  }

  std::string KeptReplay(int64_t id) override {
    const TLease c = Take();
    const std::string idText = std::to_string(id);
    const char* values[] = {idText.c_str()};
    const TResult r(c->Query("SELECT replay FROM results WHERE id = $1 AND replay IS NOT NULL", 1,
                          values, nullptr, nullptr, 1));
    c->Check(r);
    if (PQntuples(r.get()) != 1) return {};
    return std::string(PQgetvalue(r.get(), 0, 0), static_cast<size_t>(PQgetlength(r.get(), 0, 0)));
  }

  std::optional<TVerifiedReplay> VerifiedReplay(int64_t id) override {
    const TLease c = Take();
    const std::string idText = std::to_string(id);
    const char* values[] = {idText.c_str()};
    // Binary results: the replay as its bytes; the id and score as big-endian integers.
    const TResult r(c->Query("SELECT id, name, score, replay FROM results"
                             " WHERE id = $1 AND verified AND replay IS NOT NULL",
                             1, values, nullptr, nullptr, 1));
    c->Check(r);
    if (PQntuples(r.get()) != 1) return std::nullopt;
    auto field = [&](int col) {
      return std::string(PQgetvalue(r.get(), 0, col), static_cast<size_t>(PQgetlength(r.get(), 0, col)));
    };
    auto bigEndian = [](const std::string& bytes) {
      uint64_t v = 0;
      for (unsigned char b : bytes) v = (v << 8) | b;
      return v;
    };
    return TVerifiedReplay{static_cast<int64_t>(bigEndian(field(0))), field(1),
                           static_cast<int32_t>(static_cast<uint32_t>(bigEndian(field(2)))), field(3)};
  }

  std::vector<TResultRow> Best(int limit, bool verifiedOnly) override {
    const TLease c = Take();
    const TResult r = c->RunPrepared(verifiedOnly ? "best_verified" : "best",
                                     verifiedOnly ? "SELECT name, score, country, time, verified, id FROM results"
                                         " WHERE verified ORDER BY score DESC, time, id LIMIT $1"
                                       : "SELECT name, score, country, time, verified, id FROM results"
                                         " ORDER BY score DESC, time, id LIMIT $1",
                          {std::to_string(limit)});
    std::vector<TResultRow> rows;
    for (int i = 0; i < PQntuples(r.get()); ++i)
      rows.push_back({PQgetvalue(r.get(), i, 0),
                      static_cast<int32_t>(std::stol(PQgetvalue(r.get(), i, 1))),
                      PQgetvalue(r.get(), i, 2), std::stoll(PQgetvalue(r.get(), i, 3)),
                      PQgetvalue(r.get(), i, 4)[0] == 't', std::stoll(PQgetvalue(r.get(), i, 5))});
    return rows;
  }

  int OpenTokens() override {
    const TLease c = Take();
    const TResult r = c->Run("SELECT count(*) FROM tokens", {});
    return std::stoi(PQgetvalue(r.get(), 0, 0));
  }

  int64_t ResultCount() override {
    const TLease c = Take();
    const TResult r = c->Run("SELECT count(*) FROM results", {});
    return std::stoll(PQgetvalue(r.get(), 0, 0));
  }

 private:
  // Servers starting together take turns (an advisory lock held to the commit), so the
  // tables are created once and the version row written once.
  void CreateSchema(TPgConnection* c) {
    c->Exec("BEGIN");
    try {
      c->Exec("SELECT pg_advisory_xact_lock(8642017)");
      c->Exec("CREATE TABLE IF NOT EXISTS tinokvak_schema (version integer NOT NULL)");
      const TResult v = c->Run("SELECT max(version) FROM tinokvak_schema", {});
      const int found = PQgetisnull(v.get(), 0, 0) ? 0 : std::stoi(PQgetvalue(v.get(), 0, 0));
      if (found > SchemaVersion)
        throw std::runtime_error("the database has tables of a newer server (version " +
                                 std::to_string(found) + ")");
      if (found < 1) {
        c->Exec("CREATE TABLE IF NOT EXISTS tokens (token text PRIMARY KEY, issued bigint NOT NULL)");
        c->Exec("CREATE INDEX IF NOT EXISTS tokens_issued ON tokens (issued)");
        c->Exec("CREATE TABLE IF NOT EXISTS results (id bigserial PRIMARY KEY, name text NOT NULL,"
             " score integer NOT NULL, country text NOT NULL, time bigint NOT NULL)");
        c->Exec("CREATE INDEX IF NOT EXISTS results_rank ON results (score DESC, time, id)");
        c->Exec("INSERT INTO tinokvak_schema (version) VALUES (1)");
      }
      if (found < 2) {
        // A result remembers its token until its replay comes, and the replay that
        // verified it; older results keep no token and stay unverified.
        c->Exec("ALTER TABLE results ADD COLUMN IF NOT EXISTS token text,"
             " ADD COLUMN IF NOT EXISTS verified boolean NOT NULL DEFAULT false,"
             " ADD COLUMN IF NOT EXISTS replay bytea");
        c->Exec("CREATE UNIQUE INDEX IF NOT EXISTS results_token ON results (token)");
        c->Exec("CREATE INDEX IF NOT EXISTS results_verified ON results (verified, score DESC, time, id)");
        c->Exec("INSERT INTO tinokvak_schema (version) VALUES (2)");
      }
      if (found < 3) {
        // A verified result keeps the digest of the replay that proved it; an upload no
        // longer uses up the token.
        c->Exec("ALTER TABLE results ADD COLUMN IF NOT EXISTS replay_digest text");
        c->Exec("CREATE UNIQUE INDEX IF NOT EXISTS results_digest ON results (replay_digest)");
        c->Exec("INSERT INTO tinokvak_schema (version) VALUES (3)");
      }
      if (found < 4) {
        // The check queue.
        c->Exec("CREATE TABLE IF NOT EXISTS checks (id bigserial PRIMARY KEY, result_id bigint NOT NULL,"
             " address text NOT NULL, replay bytea NOT NULL, digest text NOT NULL,"
             " lease_until bigint, attempts integer NOT NULL DEFAULT 0)");
        c->Exec("CREATE INDEX IF NOT EXISTS checks_address ON checks (address)");
        c->Exec("INSERT INTO tinokvak_schema (version) VALUES (4)");
      }
      if (found < 5) {
        // A token remembers the address it went to.
        c->Exec("ALTER TABLE tokens ADD COLUMN IF NOT EXISTS address text NOT NULL DEFAULT ''");
        c->Exec("CREATE INDEX IF NOT EXISTS tokens_address ON tokens (address, issued)");
        c->Exec("INSERT INTO tinokvak_schema (version) VALUES (5)");
      }
      // Adds a batch of tokens in one call (see AddTokens); made anew at each start, so a
      // newer server's version replaces an older one's. Older servers do not call it.
      c->Exec(kAddTokensFunction);
      c->Exec("COMMIT");
    } catch (...) {
      c->Exec("ROLLBACK", false);
      throw;
    }
  }

  // One request waiting in a batch, and the thread that sent it.
  struct TItem {
    bool Taken = false;  // in a batch on its way
    bool Done = false;
    std::exception_ptr Error;
    std::condition_variable Wake;  // its thread waits on it alone
  };
  struct TTokenItem : TItem {
    std::string Token, Address;
    int64_t Now = 0;
  };
  struct TResultItem : TItem {
    std::string Token;
    TResultRow Row;
    int64_t Now = 0;
    bool Stored = false;
  };
  template <class Item>
  struct TQueue {
    std::deque<Item*> Waiting;
    int Running = 0;  // batches on their way
  };

  // Group commit: the request joins its kind's queue; a thread that finds a connection free
  // (and fewer than BatchesAtOnce of its kind on their way) takes what waits in the queue
  // then, up to MaxBatch, oldest first, and runs it as one batch on that connection, while
  // the others wait for theirs to be done. A lone request runs at once on its own; those
  // that come while the batches are busy go together in the next one. A second batch may
  // run beside the first, so that one stuck on a frozen connection holds up only its own
  // requests. Each thread sleeps on its own item: a batch's end wakes its requests and the
  // next one to lead, not every thread waiting. Throws what its batch failed with.
  template <class Item, class Run>
  void Batched(TQueue<Item>& q, Item& item, Run run) {
    std::unique_lock lock(mutex_);
    q.Waiting.push_back(&item);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(WaitSeconds);
    while (!item.Done) {
      if (!item.Taken && !idle_.empty() && q.Running < BatchesAtOnce) {
        TPgConnection* c = idle_.front();
        idle_.pop_front();
        ++q.Running;
        std::vector<Item*> batch;
        while (!q.Waiting.empty() && batch.size() < MaxBatch) {
          batch.push_back(q.Waiting.front());
          batch.back()->Taken = true;
          q.Waiting.pop_front();
        }
        lock.unlock();
        std::exception_ptr error;
        try {
          run(*c, batch);
        } catch (...) {
          error = std::current_exception();
        }
        lock.lock();
        --q.Running;
        for (Item* i : batch) {
          i->Error = error;
          i->Done = true;
          if (i != &item) i->Wake.notify_one();
        }
        idle_.push_back(c);
        WakeNext();
        continue;
      }
      if (item.Taken) {
        // Its batch ends within a statement's bound.
        item.Wake.wait(lock);
      } else if (item.Wake.wait_until(lock, deadline) == std::cv_status::timeout && !item.Taken &&
                 !item.Done) {
        q.Waiting.erase(std::find(q.Waiting.begin(), q.Waiting.end(), &item));
        WakeNext();
        throw std::runtime_error("database: no connection free within " +
                                 std::to_string(WaitSeconds) + " s");
      }
    }
    if (item.Error) std::rethrow_exception(item.Error);
  }

  // A connection was given back (under mutex_): the first request waiting in each queue
  // may lead a batch now, and one operation waiting for a connection may take it.
  void WakeNext() {
    if (!tokenQueue_.Waiting.empty()) tokenQueue_.Waiting.front()->Wake.notify_one();
    if (!resultQueue_.Waiting.empty()) resultQueue_.Waiting.front()->Wake.notify_one();
    given_.notify_one();
  }

  // A batch of tokens in one call of the function below: one statement, one commit.
  void AddTokens(TPgConnection& c, const std::vector<TTokenItem*>& batch) {
    std::vector<std::string> tokens, addresses;
    int64_t now = 0;
    for (const TTokenItem* i : batch) {
      tokens.push_back(i->Token);
      addresses.push_back(i->Address);
      now = std::max(now, i->Now);
    }
    // The overall bound is looked at when the count of tokens passes a multiple of TrimEvery.
    const unsigned before = added_.fetch_add(static_cast<unsigned>(batch.size()));
    const bool trim = (before + batch.size()) / TrimEvery != before / TrimEvery;
    c.RunPrepared("add_tokens",
                  "SELECT tinokvak_add_tokens($1::text[], $2::text[], $3::bigint, $4::bigint,"
                  " $5::integer, $6::integer, $7::integer)",
                  {TextArray(tokens), TextArray(addresses), std::to_string(now),
                   std::to_string(now - TokenLifetime), std::to_string(MaxTokensPerAddress),
                   std::to_string(TrimBatch), trim ? std::to_string(MaxOpenTokens) : "-1"});
  }

  // A batch of results in one statement: each row is inserted only from the token row its
  // DELETE took, so a token serves one result whichever server or batch sends it. A token
  // twice in one batch is sent once; the other is refused as a used token would be.
  static void StoreResults(TPgConnection& c, const std::vector<TResultItem*>& batch) {
    std::vector<std::string> tokens, names, scores, countries, times;
    std::vector<TResultItem*> sent;
    int64_t now = 0;
    for (TResultItem* i : batch) {
      if (std::find(tokens.begin(), tokens.end(), i->Token) != tokens.end()) continue;
      sent.push_back(i);
      tokens.push_back(i->Token);
      names.push_back(i->Row.Name);
      scores.push_back(std::to_string(i->Row.Score));
      countries.push_back(i->Row.Country);
      times.push_back(std::to_string(i->Row.Time));
      now = std::max(now, i->Now);
    }
    const TResult r = c.RunPrepared(
        "store_results",
        "WITH batch AS (SELECT * FROM unnest($1::text[], $2::text[], $3::integer[], $4::text[],"
        "  $5::bigint[]) AS b(token, name, score, country, time)),"
        " used AS (DELETE FROM tokens WHERE token = ANY($1::text[]) AND issued >= $6"
        "  RETURNING token)"
        " INSERT INTO results (name, score, country, time, token)"
        " SELECT b.name, b.score, b.country, b.time, b.token FROM batch b JOIN used u ON u.token = b.token"
        " RETURNING token",
        {TextArray(tokens), TextArray(names), TextArray(scores), TextArray(countries), TextArray(times),
         std::to_string(now - TokenLifetime)});
    for (int k = 0; k < PQntuples(r.get()); ++k) {
      const std::string_view stored = PQgetvalue(r.get(), k, 0);
      for (TResultItem* i : sent)
        if (i->Token == stored) i->Stored = true;
    }
  }

  // An array literal of texts, each quoted.
  static std::string TextArray(const std::vector<std::string>& items) {
    std::string out = "{";
    for (const std::string& item : items) {
      if (out.size() > 1) out += ',';
      out += '"';
      for (char ch : item) {
        if (ch == '"' || ch == '\\') out += '\\';
        out += ch;
      }
      out += '"';
    }
    return out + "}";
  }

  // Its statements are planned once for all calls (no planning for each call's values), and
  // each is written so that its one plan finds its rows on an index whatever the values: the
  // rows to delete are picked on an index and deleted by their place (ctid), never by a
  // join the planner might make a scan of the whole table.
  // Adds tokens issued at `issued_at` to their addresses, in one transaction: the
  // addresses' locks first, in one order (so that batches never wait for each other in a
  // circle; one address's tokens are added one batch at a time, by whichever server,
  // else its bound's deletes take the same rows in concurrent transactions), then a batch
  // of expired tokens out, oldest first on the index (an expired one serves nothing), the
  // new ones in, each address's bound kept on its index, and, when `keep` is not negative,
  // the oldest beyond `keep` out, a batch at most.
  static constexpr const char* kAddTokensFunction = R"sql(
CREATE OR REPLACE FUNCTION tinokvak_add_tokens(new_tokens text[], new_addresses text[],
    issued_at bigint, expired_before bigint, per_address integer, batch integer, keep integer)
  RETURNS void LANGUAGE plpgsql SET plan_cache_mode = force_generic_plan AS $fn$
DECLARE
  h integer;
BEGIN
  FOR h IN SELECT DISTINCT hashtext(a) FROM unnest(new_addresses) a ORDER BY 1 LOOP
    PERFORM pg_advisory_xact_lock(8642019, h);
  END LOOP;
  DELETE FROM tokens WHERE ctid = ANY(ARRAY(
    SELECT ctid FROM tokens WHERE issued < expired_before ORDER BY issued LIMIT batch));
  INSERT INTO tokens (token, issued, address)
    SELECT DISTINCT ON (n.t) n.t, issued_at, n.a FROM unnest(new_tokens, new_addresses) AS n(t, a)
    ON CONFLICT (token) DO UPDATE SET issued = EXCLUDED.issued, address = EXCLUDED.address;
  DELETE FROM tokens WHERE ctid = ANY(ARRAY(
    SELECT o.ctid FROM (SELECT DISTINCT a FROM unnest(new_addresses) a) n
      CROSS JOIN LATERAL (SELECT ctid FROM tokens WHERE address = n.a
                          ORDER BY issued DESC, token DESC OFFSET per_address) o));
  IF keep >= 0 THEN
    DELETE FROM tokens WHERE ctid = ANY(ARRAY(
      SELECT ctid FROM tokens WHERE issued <=
        (SELECT issued FROM tokens ORDER BY issued DESC OFFSET keep LIMIT 1)
      ORDER BY issued LIMIT batch));
  END IF;
END
$fn$)sql";

  static constexpr size_t MaxBatch = 64;
  static constexpr int BatchesAtOnce = 2;  // of one kind
  TQueue<TTokenItem> tokenQueue_;    // under mutex_
  TQueue<TResultItem> resultQueue_;  // under mutex_

  // A connection for one operation, given back when the operation ends.
  class TLease {
   public:
    TLease(TPostgresStore& store, TPgConnection* c) : store_(store), c_(c) {}
    ~TLease() { store_.GiveBack(c_); }
    TLease(const TLease&) = delete;
    TLease& operator=(const TLease&) = delete;
    TPgConnection* operator->() const { return c_; }

   private:
    TPostgresStore& store_;
    TPgConnection* c_;
  };

  // The connection idle longest; when all are busy, the first one given back, waiting no
  // longer than a statement may take.
  TLease Take() {
    std::unique_lock lock(mutex_);
    if (!given_.wait_for(lock, std::chrono::seconds(WaitSeconds), [&] { return !idle_.empty(); }))
      throw std::runtime_error("database: no connection free within " +
                               std::to_string(WaitSeconds) + " s");
    TPgConnection* c = idle_.front();
    idle_.pop_front();
    return TLease(*this, c);
  }
  void GiveBack(TPgConnection* c) {
    std::lock_guard lock(mutex_);
    idle_.push_back(c);
    WakeNext();
  }

  static constexpr int WaitSeconds = 5;
  std::atomic<unsigned> added_{0};  // tokens added
  std::vector<std::unique_ptr<TPgConnection>> connections_;
  std::mutex mutex_;
  std::condition_variable given_;
  std::deque<TPgConnection*> idle_;  // longest idle first
};

}  // namespace

std::unique_ptr<TScoreStore> OpenScoreStore(const std::string& db, int connections) {
  if (db.rfind("postgresql://", 0) == 0 || db.rfind("postgres://", 0) == 0)
    return std::make_unique<TPostgresStore>(db, connections);
  return std::make_unique<TSqliteStore>(db, connections);
}

}  // namespace tk::scores
