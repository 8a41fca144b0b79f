#include "ScoreStore.h"

#include <sqlite3.h>

#include <stdexcept>

namespace tk::scores {

namespace {

// A prepared statement that finalises itself.
class TStatement {
 public:
  TStatement(sqlite3* db, const char* sql) : db_(db) {
    if (sqlite3_prepare_v2(db, sql, -1, &st_, nullptr) != SQLITE_OK)
      throw std::runtime_error(std::string("database: ") + sqlite3_errmsg(db));
  }
  ~TStatement() { sqlite3_finalize(st_); }
  TStatement(const TStatement&) = delete;
  TStatement& operator=(const TStatement&) = delete;

  TStatement& Bind(int i, const std::string& text) {
    Check(sqlite3_bind_text(st_, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT));
    return *this;
  }
  TStatement& BindBlob(int i, const std::string& bytes) {
    Check(sqlite3_bind_blob64(st_, i, bytes.data(), bytes.size(), SQLITE_TRANSIENT));
    return *this;
  }
  TStatement& Bind(int i, int64_t v) {
    Check(sqlite3_bind_int64(st_, i, v));
    return *this;
  }
  // True while a row is there.
  bool Step() {
    const int rc = sqlite3_step(st_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    throw std::runtime_error(std::string("database: ") + sqlite3_errmsg(db_));
  }
  int64_t Int(int col) { return sqlite3_column_int64(st_, col); }
  std::string Text(int col) {
    const auto* p = sqlite3_column_text(st_, col);
    return p ? std::string(reinterpret_cast<const char*>(p),
                           static_cast<size_t>(sqlite3_column_bytes(st_, col)))
             : std::string();
  }

 private:
  void Check(int rc) {
    if (rc != SQLITE_OK) throw std::runtime_error(std::string("database: ") + sqlite3_errmsg(db_));
  }
  sqlite3* db_;
  sqlite3_stmt* st_ = nullptr;
};

}  // namespace

namespace {

sqlite3* OpenFile(const std::string& path) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK) {
    const std::string msg = db ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close(db);
    throw std::runtime_error("cannot open " + path + ": " + msg);
  }
  sqlite3_busy_timeout(db, 2000);
  return db;
}

}  // namespace

TSqliteStore::TSqliteStore(const std::string& path, int readers) {
  db_ = OpenFile(path);
  try {
    // A write-ahead log lets the table page read while a result is stored, and a commit
    // needs no flush of its own: a crash may lose the last moments, never the file.
    Exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;");
    Exec(
        "CREATE TABLE IF NOT EXISTS tokens ("
        "  token TEXT PRIMARY KEY, issued INTEGER NOT NULL);"
        "CREATE INDEX IF NOT EXISTS tokens_issued ON tokens (issued);"
        "CREATE TABLE IF NOT EXISTS results ("
        "  id INTEGER PRIMARY KEY, name TEXT NOT NULL, score INTEGER NOT NULL,"
        "  country TEXT NOT NULL, time INTEGER NOT NULL);"
        "CREATE INDEX IF NOT EXISTS results_rank ON results (score DESC, time, id);");
    TStatement version(db_, "PRAGMA user_version");
    version.Step();
    const int64_t found = version.Int(0);
    if (found > SchemaVersion)
      throw std::runtime_error(path + " has tables of a newer server (version " +
                               std::to_string(found) + ")");
    if (found < 2) {
      // Version 2: a result remembers its token until its replay comes, and the replay
      // that verified it. Older results keep no token and stay unverified.
      Exec("BEGIN IMMEDIATE");
      try {
        Exec("ALTER TABLE results ADD COLUMN token TEXT;"
             "ALTER TABLE results ADD COLUMN verified INTEGER NOT NULL DEFAULT 0;"
             "ALTER TABLE results ADD COLUMN replay BLOB;"
             "CREATE UNIQUE INDEX results_token ON results (token);"
             "CREATE INDEX results_verified ON results (verified, score DESC, time, id);");
        Exec("PRAGMA user_version = 2");
        Exec("COMMIT");
      } catch (...) {
        Exec("ROLLBACK");
        throw;
      }
    }
    if (found < 3) {
      // Version 3: a verified result keeps the digest of the replay that proved it (one
      // game, one result); an upload no longer uses up the token.
      Exec("BEGIN IMMEDIATE");
      try {
        Exec("ALTER TABLE results ADD COLUMN replay_digest TEXT;"
             "CREATE UNIQUE INDEX results_digest ON results (replay_digest);");
        Exec("PRAGMA user_version = 3");
        Exec("COMMIT");
      } catch (...) {
        Exec("ROLLBACK");
        throw;
      }
    }
    if (found < 4) {
      // Version 4: the check queue.
      Exec("BEGIN IMMEDIATE");
      try {
        Exec("CREATE TABLE checks (id INTEGER PRIMARY KEY, result_id INTEGER NOT NULL,"
             "  address TEXT NOT NULL, replay BLOB NOT NULL, digest TEXT NOT NULL,"
             "  lease_until INTEGER, attempts INTEGER NOT NULL DEFAULT 0);"
             "CREATE INDEX checks_address ON checks (address);");
        Exec("PRAGMA user_version = 4");
        Exec("COMMIT");
      } catch (...) {
        Exec("ROLLBACK");
        throw;
      }
    }
    if (found < 5) {
      // Version 5: a token remembers the address it went to.
      Exec("BEGIN IMMEDIATE");
      try {
        Exec("ALTER TABLE tokens ADD COLUMN address TEXT NOT NULL DEFAULT '';"
             "CREATE INDEX tokens_address ON tokens (address, issued);");
        Exec(("PRAGMA user_version = " + std::to_string(SchemaVersion)).c_str());
        Exec("COMMIT");
      } catch (...) {
        Exec("ROLLBACK");
        throw;
      }
    }
    // The readers, once the tables are there. A database in memory is one connection's
    // alone: it is read through the writer.
    const bool inMemory = path.empty() || path == ":memory:" || path.rfind("file::memory:", 0) == 0;
    for (int i = 0; i < (inMemory ? 0 : readers); ++i) {
      readers_.push_back(OpenFile(path));
      idleReaders_.push_back(readers_.back());
      Exec(readers_.back(), "PRAGMA query_only = 1");
    }
  } catch (...) {
    for (sqlite3* r : readers_) sqlite3_close(r);
    readers_.clear();
    sqlite3_close(db_);
    db_ = nullptr;
    throw;
  }
}

TSqliteStore::~TSqliteStore() {
  for (sqlite3* r : readers_) sqlite3_close(r);
  sqlite3_close(db_);
}

TSqliteStore::TReadLease::TReadLease(TSqliteStore& store) : store_(store) {
  if (store.readers_.empty()) {
    writing_ = std::unique_lock(store.writing_);
    db_ = store.db_;
    return;
  }
  std::unique_lock lock(store.readerMutex_);
  store.readerFree_.wait(lock, [&] { return !store.idleReaders_.empty(); });
  db_ = store.idleReaders_.front();
  store.idleReaders_.pop_front();
}

TSqliteStore::TReadLease::~TReadLease() {
  if (writing_.owns_lock()) return;
  {
    std::lock_guard lock(store_.readerMutex_);
    store_.idleReaders_.push_back(db_);
  }
  store_.readerFree_.notify_one();
}

void TSqliteStore::Exec(const char* sql) { Exec(db_, sql); }

void TSqliteStore::Exec(sqlite3* db, const char* sql) {
  char* err = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &err) != SQLITE_OK) {
    const std::string msg = err ? err : "unknown error";
    sqlite3_free(err);
    throw std::runtime_error("database: " + msg);
  }
}

void TSqliteStore::AddToken(const std::string& token, int64_t now, const std::string& address) {
  const std::lock_guard writing(writing_);
  Exec("BEGIN IMMEDIATE");
  try {
    // Expired tokens go a batch at a time, oldest first on the index: however many expire
    // at once, no request deletes more than a batch (an expired one serves nothing anyway).
    TStatement(db_,
               "DELETE FROM tokens WHERE rowid IN (SELECT rowid FROM tokens WHERE issued < ?"
               " ORDER BY issued LIMIT ?)")
        .Bind(1, now - TokenLifetime)
        .Bind(2, int64_t{TrimBatch})
        .Step();
    TStatement(db_, "INSERT OR REPLACE INTO tokens (token, issued, address) VALUES (?, ?, ?)")
        .Bind(1, token)
        .Bind(2, now)
        .Bind(3, address)
        .Step();
    // The address's own bound, on its index: a few rows to look at, however many are open.
    TStatement(db_,
               "DELETE FROM tokens WHERE rowid IN (SELECT rowid FROM tokens WHERE address = ?"
               " ORDER BY issued DESC, rowid DESC LIMIT -1 OFFSET ?)")
        .Bind(1, address)
        .Bind(2, int64_t{MaxTokensPerAddress})
        .Step();
    // The overall bound, now and then: the oldest beyond it go, a batch at most, found on
    // the index however far past the bound the table is.
    if (++added_ % TrimEvery == 0)
      TStatement(db_,
                 "DELETE FROM tokens WHERE rowid IN (SELECT rowid FROM tokens WHERE issued <="
                 " (SELECT issued FROM tokens ORDER BY issued DESC LIMIT 1 OFFSET ?)"
                 " ORDER BY issued LIMIT ?)")
          .Bind(1, int64_t{MaxOpenTokens})
          .Bind(2, int64_t{TrimBatch})
          .Step();
    Exec("COMMIT");
  } catch (...) {
    Exec("ROLLBACK");
    throw;
  }
}

bool TSqliteStore::StoreResult(const std::string& token, const TResultRow& row, int64_t now) {
  const std::lock_guard writing(writing_);
  Exec("BEGIN IMMEDIATE");
  try {
    TStatement(db_, "DELETE FROM tokens WHERE token = ? AND issued >= ?")
        .Bind(1, token)
        .Bind(2, now - TokenLifetime)
        .Step();
    if (sqlite3_changes(db_) != 1) {
      Exec("ROLLBACK");
      return false;
    }
    TStatement(db_, "INSERT INTO results (name, score, country, time, token) VALUES (?, ?, ?, ?, ?)")
        .Bind(1, row.Name)
        .Bind(2, int64_t{row.Score})
        .Bind(3, row.Country)
        .Bind(4, row.Time)
        .Bind(5, token)
        .Step();
    Exec("COMMIT");
    return true;
  } catch (...) {
    Exec("ROLLBACK");
    throw;
  }
}

std::optional<TReplayClaim> TSqliteStore::ClaimReplay(const std::string& token, int64_t now) {
  const TReadLease read(*this);
  TStatement st(read.Db(),
                "SELECT id, name, score FROM results WHERE token = ? AND time >= ? AND verified = 0");
  st.Bind(1, token).Bind(2, now - TokenLifetime);
  if (!st.Step()) return std::nullopt;
  return TReplayClaim{st.Int(0), st.Text(1), static_cast<int32_t>(st.Int(2))};
}

bool TSqliteStore::KeepVerified(int64_t id, const std::string& replay, const std::string& digest) {
  const std::lock_guard writing(writing_);
  // One writer at a time: the digest's absence holds until the update.
  TStatement(db_,
             "UPDATE results SET verified = 1, replay = ?, replay_digest = ?, token = NULL"
             " WHERE id = ? AND verified = 0"
             " AND NOT EXISTS (SELECT 1 FROM results WHERE replay_digest = ?)")
      .BindBlob(1, replay)
      .Bind(2, digest)
      .Bind(3, id)
      .Bind(4, digest)
      .Step();
  return sqlite3_changes(db_) == 1;
}

TScoreStore::TQueued TSqliteStore::QueueCheck(int64_t resultId, const std::string& address,
                                              const std::string& replay, const std::string& digest,
                                              int maxWaiting, int maxPerAddress) {
  const std::lock_guard writing(writing_);
  Exec("BEGIN IMMEDIATE");
  try {
    TStatement waiting(db_, "SELECT count(*) FROM checks WHERE lease_until IS NULL");
    waiting.Step();
    TStatement mine(db_, "SELECT count(*) FROM checks WHERE address = ?");
    mine.Bind(1, address).Step();
    TQueued q = TQueued::Yes;
    if (waiting.Int(0) >= maxWaiting) q = TQueued::QueueFull;
    else if (mine.Int(0) >= maxPerAddress) q = TQueued::AddressFull;
    if (q == TQueued::Yes)
      TStatement(db_, "INSERT INTO checks (result_id, address, replay, digest) VALUES (?, ?, ?, ?)")
          .Bind(1, resultId)
          .Bind(2, address)
          .BindBlob(3, replay)
          .Bind(4, digest)
          .Step();
    Exec("COMMIT");
    return q;
  } catch (...) {
    Exec("ROLLBACK");
    throw;
  }
}

std::optional<TQueuedCheck> TSqliteStore::TakeCheck(int64_t now, int64_t leaseUntil) {
  const std::lock_guard writing(writing_);
  Exec("BEGIN IMMEDIATE");
  try {
    std::optional<TQueuedCheck> c;
    {
      TStatement st(db_,
                    "SELECT c.id, c.result_id, r.name, r.score, c.replay, c.digest, c.attempts"
                    " FROM checks c JOIN results r ON r.id = c.result_id"
                    " WHERE c.lease_until IS NULL OR c.lease_until <= ? ORDER BY c.id LIMIT 1");
      st.Bind(1, now);
      if (st.Step())
        c = TQueuedCheck{st.Int(0), {st.Int(1), st.Text(2), static_cast<int32_t>(st.Int(3))},
                         st.Text(4), st.Text(5), static_cast<int>(st.Int(6)) + 1};
    }
    if (c)
      TStatement(db_, "UPDATE checks SET lease_until = ?, attempts = attempts + 1 WHERE id = ?")
          .Bind(1, leaseUntil)
          .Bind(2, c->Id)
          .Step();
    Exec("COMMIT");
    return c;
  } catch (...) {
    Exec("ROLLBACK");
    throw;
  }
}

void TSqliteStore::FinishCheck(int64_t id) {
  const std::lock_guard writing(writing_);
  TStatement(db_, "DELETE FROM checks WHERE id = ?").Bind(1, id).Step();
}

int TSqliteStore::WaitingChecks(int64_t now) {
  const TReadLease read(*this);
  TStatement st(read.Db(), "SELECT count(*) FROM checks WHERE lease_until IS NULL OR lease_until <= ?");
  st.Bind(1, now).Step();
  return static_cast<int>(st.Int(0));
}

std::string TSqliteStore::KeptReplay(int64_t id) {
  const TReadLease read(*this);
  TStatement st(read.Db(), "SELECT replay FROM results WHERE id = ? AND replay IS NOT NULL");
  st.Bind(1, id);
  return st.Step() ? st.Text(0) : std::string();
}

std::optional<TVerifiedReplay> TSqliteStore::VerifiedReplay(int64_t id) {
  const TReadLease read(*this);
  TStatement st(read.Db(),
                "SELECT id, name, score, replay FROM results"
                " WHERE id = ? AND verified = 1 AND replay IS NOT NULL");
  st.Bind(1, id);
  if (!st.Step()) return std::nullopt;
  return TVerifiedReplay{st.Int(0), st.Text(1), static_cast<int32_t>(st.Int(2)), st.Text(3)};
}

std::vector<TResultRow> TSqliteStore::Best(int limit, bool verifiedOnly) {
  const TReadLease read(*this);
  TStatement st(read.Db(),
                verifiedOnly ? "SELECT name, score, country, time, verified, id FROM results"
                               " WHERE verified = 1 ORDER BY score DESC, time, id LIMIT ?"
                             : "SELECT name, score, country, time, verified, id FROM results"
                               " ORDER BY score DESC, time, id LIMIT ?");
  st.Bind(1, int64_t{limit});
  std::vector<TResultRow> rows;
  while (st.Step())
    rows.push_back({st.Text(0), static_cast<int32_t>(st.Int(1)), st.Text(2), st.Int(3),
                    st.Int(4) != 0, st.Int(5)});
  return rows;
}

int TSqliteStore::OpenTokens() {
  const TReadLease read(*this);
  TStatement st(read.Db(), "SELECT count(*) FROM tokens");
  st.Step();
  return static_cast<int>(st.Int(0));
}

int64_t TSqliteStore::ResultCount() {
  const TReadLease read(*this);
  TStatement st(read.Db(), "SELECT count(*) FROM results");
  st.Step();
  return st.Int(0);
}

}  // namespace tk::scores
