// The score server's database: the one-time tokens it has handed out and the results sent
// with them, in an SQLite file or in PostgreSQL. Every statement takes bound values.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

namespace tk::scores {

struct TResultRow {
  std::string Name;     // UTF-8
  int32_t Score = 0;
  std::string Country;  // UTF-8, may be empty
  int64_t Time = 0;     // seconds since 1970, UTC
  bool Verified = false;  // its replay played back to the same score and name
  int64_t Id = 0;         // as the store numbers its results (filled by Best)
};

// A result waiting for its replay: what the replay must show.
struct TReplayClaim {
  int64_t Id = 0;
  std::string Name;  // UTF-8
  int32_t Score = 0;
};


// A verified result with the replay that proved it, as /replays/ID serves it.
struct TVerifiedReplay {
  int64_t Id = 0;
  std::string Name;  // UTF-8
  int32_t Score = 0;
  std::string Replay;
};

// A replay waiting for its check, or taken for one.
struct TQueuedCheck {
  int64_t Id = 0;
  TReplayClaim Claim;  // the result it is to verify
  std::string Replay, Digest;
  int Attempts = 0;  // how often it was taken, this time included
};

// Where tokens and results live. Every operation is atomic on its own, so several servers
// may share one store (PostgreSQL) and a token is used up once whichever server takes it;
// a store may be used from several threads at once.
class TScoreStore {
 public:
  virtual ~TScoreStore() = default;
  // Remembers a token issued at `now` to `address`. Tokens older than TokenLifetime are
  // forgotten, and beyond MaxOpenTokens the oldest go (looked at now and then), so no
  // client asking in a loop can fill the disk.
  // One address keeps MaxTokensPerAddress open at most, its oldest going first, so one
  // client asking in a loop neither fills the table nor pushes out everybody else's.
  virtual void AddToken(const std::string& token, int64_t now, const std::string& address = {}) = 0;
  // Uses up the token and stores the row in one transaction. False, with nothing stored,
  // when the token was never issued, has expired or was used already.
  virtual bool StoreResult(const std::string& token, const TResultRow& row, int64_t now) = 0;
  // The unverified result the token stored within TokenLifetime, which a replay may still
  // verify; nothing when there is none. Looking changes nothing: the token stays the
  // result's until a replay verifies it, so an upload that does not (whoever sent it, a
  // damaged file, another game) costs the game's own replay nothing.
  virtual std::optional<TReplayClaim> ClaimReplay(const std::string& token, int64_t now) = 0;
  // Marks the result verified and keeps the replay that showed it, with the replay's digest
  // (its journal and seed). False, changing nothing, when a replay of that digest verified
  // a result already (one game proves one result) or this result is verified already.
  virtual bool KeepVerified(int64_t id, const std::string& replay, const std::string& digest) = 0;
  // ---- The check queue: replays waiting for a check live in the database, so that a
  // check pending when a server dies is done by the next one to look (any server of the
  // database), and one address cannot fill the queue for everybody.
  enum class TQueued { Yes, QueueFull, AddressFull };
  // Queues a replay for the result unless `maxWaiting` replays wait already (checks taken
  // and still leased do not count), or `maxPerAddress` of the address's are queued or
  // being checked.
  virtual TQueued QueueCheck(int64_t resultId, const std::string& address, const std::string& replay,
                             const std::string& digest, int maxWaiting, int maxPerAddress) = 0;
  // Takes the oldest queued check that nobody holds (never taken, or its lease ran out:
  // the server checking it died) and holds it until `leaseUntil`.
  virtual std::optional<TQueuedCheck> TakeCheck(int64_t now, int64_t leaseUntil) = 0;
  // The check is done, whatever it found.
  virtual void FinishCheck(int64_t id) = 0;
  // Checks waiting for a server to take them.
  virtual int WaitingChecks(int64_t now) = 0;

  // The replay kept for a result; empty when there is none.
  virtual std::string KeptReplay(int64_t id) = 0;
  // The result `id` with its replay when a replay verified it; nothing for an unknown or
  // unverified result.
  virtual std::optional<TVerifiedReplay> VerifiedReplay(int64_t id) = 0;
  // The best results, highest score first, earlier first among equal scores.
  virtual std::vector<TResultRow> Best(int limit, bool verifiedOnly = false) = 0;
  virtual int OpenTokens() = 0;
  virtual int64_t ResultCount() = 0;

  static constexpr int64_t TokenLifetime = 3600;
  static constexpr int MaxOpenTokens = 100000;
  static constexpr int MaxTokensPerAddress = 1000;
  // The overall bound is looked at every TrimEvery tokens; each look, like each token's
  // purge of expired ones, deletes TrimBatch tokens at most, so a table far past the bound
  // (or an hour's tokens expiring together) costs no request more than a batch: it comes
  // back within the bound a batch at a time.
  static constexpr int TrimEvery = 1024;
  static constexpr int TrimBatch = 2048;
  // The tables' layout; a store written by a newer server is refused rather than misread.
  static constexpr int SchemaVersion = 5;
};

// One SQLite file: one connection writes, the others read. SQLite lets one writer at a
// time in whatever number of connections, so the writes take turns on one (a turn handed
// on at once, where SQLite's busy handler would poll for it); with the write-ahead log,
// readers see the last commit without waiting for a write going on, so the table page and
// the claims of uploads are not held up by a slow write.
class TSqliteStore final : public TScoreStore {
 public:
  // Opens or creates the database with `readers` reading connections beside the writer (a
  // database in memory is read through the writer); throws std::runtime_error when it
  // cannot.
  explicit TSqliteStore(const std::string& path, int readers = 4);
  ~TSqliteStore() override;
  TSqliteStore(const TSqliteStore&) = delete;
  TSqliteStore& operator=(const TSqliteStore&) = delete;

  void AddToken(const std::string& token, int64_t now, const std::string& address = {}) override;
  bool StoreResult(const std::string& token, const TResultRow& row, int64_t now) override;
  std::optional<TReplayClaim> ClaimReplay(const std::string& token, int64_t now) override;
  bool KeepVerified(int64_t id, const std::string& replay, const std::string& digest) override;
  TQueued QueueCheck(int64_t resultId, const std::string& address, const std::string& replay,
                     const std::string& digest, int maxWaiting, int maxPerAddress) override;
  std::optional<TQueuedCheck> TakeCheck(int64_t now, int64_t leaseUntil) override;
  void FinishCheck(int64_t id) override;
  int WaitingChecks(int64_t now) override;
  std::string KeptReplay(int64_t id) override;
  std::optional<TVerifiedReplay> VerifiedReplay(int64_t id) override;
  std::vector<TResultRow> Best(int limit, bool verifiedOnly = false) override;
  int OpenTokens() override;
  int64_t ResultCount() override;

 private:
  // A reading connection for one operation: a reader's, or the writer's taken in turn.
  class TReadLease {
   public:
    explicit TReadLease(TSqliteStore& store);
    ~TReadLease();
    TReadLease(const TReadLease&) = delete;
    TReadLease& operator=(const TReadLease&) = delete;
    sqlite3* Db() const { return db_; }

   private:
    TSqliteStore& store_;
    sqlite3* db_ = nullptr;
    std::unique_lock<std::mutex> writing_;
  };
  void Exec(const char* sql);
  static void Exec(sqlite3* db, const char* sql);
  sqlite3* db_ = nullptr;  // the writer
  std::mutex writing_;
  std::vector<sqlite3*> readers_;
  std::mutex readerMutex_;
  std::condition_variable readerFree_;
  std::deque<sqlite3*> idleReaders_;
  unsigned added_ = 0;  // tokens added (under writing_): the overall bound is kept every so many
};

// A "postgresql://" URL opens PostgreSQL, anything else is an SQLite file path. Throws
// std::runtime_error when the store cannot be opened or its schema is unknown.
// `connections` is how many operations may run at once: PostgreSQL connections, or SQLite
// readers beside its one writer. Give one for each thread that uses the store.
std::unique_ptr<TScoreStore> OpenScoreStore(const std::string& db, int connections = 4);

}  // namespace tk::scores
