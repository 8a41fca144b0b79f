// The store in PostgreSQL, for several servers behind one address. A token's single use is
// the database's to enforce: the result is inserted only from the row a DELETE took, and
// two servers deleting the same row cannot both succeed.
// Each server holds a few connections, one operation on each at a time: a statement that
// hangs (a frozen backend, a lock held elsewhere) holds up its own connection's request
// and nothing else.
#include <libpq-fe.h>
#include <poll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
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
    if (!PQsendQueryParams(conn_, sql, n, nullptr, values, lengths, formats, resultFormat))
      return TResult(nullptr);
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

  void Drop() {
    PQfinish(conn_);
    conn_ = nullptr;
  }

  static constexpr int QuerySeconds = 5;
  std::string url_;
  PGconn* conn_ = nullptr;
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

  void AddToken(const std::string& token, int64_t now, const std::string& address) override {
    const TLease c = Take();
    const std::string expired = std::to_string(now - TokenLifetime), issued = std::to_string(now),
                      keep = std::to_string(MaxOpenTokens);
    c->Exec("BEGIN");
    try {
      // One address's tokens are added one at a time (by whichever server): its bound's
      // deletes would otherwise take the same rows in concurrent transactions, which then
      // wait for each other or deadlock (a second each before the database notices).
      c->Run("SELECT pg_advisory_xact_lock(8642019, hashtext($1))", {address});
      // Expired tokens go a batch at a time, oldest first on the index: however many expire
      // at once, no request deletes more than a batch (an expired one serves nothing).
      c->Run("DELETE FROM tokens WHERE token IN (SELECT token FROM tokens WHERE issued < $1"
             " ORDER BY issued LIMIT $2)",
             {expired, std::to_string(TrimBatch)});
      c->Run("INSERT INTO tokens (token, issued, address) VALUES ($1, $2, $3) ON CONFLICT (token)"
          " DO UPDATE SET issued = EXCLUDED.issued, address = EXCLUDED.address",
          {token, issued, address});
      // The address's own bound, on its index; the overall one now and then: the oldest
      // beyond it go, a batch at most, found on the index however far past it the table is.
      c->Run("DELETE FROM tokens WHERE token IN (SELECT token FROM tokens WHERE address = $1"
          " ORDER BY issued DESC, token DESC OFFSET $2)",
          {address, std::to_string(MaxTokensPerAddress)});
      if (++added_ % TrimEvery == 0)
        c->Run("DELETE FROM tokens WHERE token IN (SELECT token FROM tokens WHERE issued <="
               " (SELECT issued FROM tokens ORDER BY issued DESC OFFSET $1 LIMIT 1)"
               " ORDER BY issued LIMIT $2)",
               {keep, std::to_string(TrimBatch)});
      c->Exec("COMMIT");
    } catch (...) {
      c->Exec("ROLLBACK", false);
      throw;
    }
  }

  bool StoreResult(const std::string& token, const TResultRow& row, int64_t now) override {
    const TLease c = Take();
    // One statement: the insert sees the deleted row only in the server whose DELETE took it.
    const TResult r = c->Run(
        "WITH used AS (DELETE FROM tokens WHERE token = $1 AND issued >= $2 RETURNING token)"
        " INSERT INTO results (name, score, country, time, token)"
        " SELECT $3, $4, $5, $6, token FROM used",
        {token, std::to_string(now - TokenLifetime), row.Name, std::to_string(row.Score),
         row.Country, std::to_string(row.Time)});
    return std::string(PQcmdTuples(r.get())) == "1";
  }

  std::optional<TReplayClaim> ClaimReplay(const std::string& token, int64_t now) override {
    const TLease c = Take();
    const TResult r = c->Run("SELECT id, name, score FROM results WHERE token = $1 AND time >= $2"
                          " AND NOT verified",
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

  std::vector<TResultRow> Best(int limit, bool verifiedOnly) override {
    const TLease c = Take();
    const TResult r = c->Run(verifiedOnly ? "SELECT name, score, country, time, verified FROM results"
                                         " WHERE verified ORDER BY score DESC, time, id LIMIT $1"
                                       : "SELECT name, score, country, time, verified FROM results"
                                         " ORDER BY score DESC, time, id LIMIT $1",
                          {std::to_string(limit)});
    std::vector<TResultRow> rows;
    for (int i = 0; i < PQntuples(r.get()); ++i)
      rows.push_back({PQgetvalue(r.get(), i, 0),
                      static_cast<int32_t>(std::stol(PQgetvalue(r.get(), i, 1))),
                      PQgetvalue(r.get(), i, 2), std::stoll(PQgetvalue(r.get(), i, 3)),
                      PQgetvalue(r.get(), i, 4)[0] == 't'});
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
      c->Exec("COMMIT");
    } catch (...) {
      c->Exec("ROLLBACK", false);
      throw;
    }
  }

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
    {
      std::lock_guard lock(mutex_);
      idle_.push_back(c);
    }
    given_.notify_one();
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
