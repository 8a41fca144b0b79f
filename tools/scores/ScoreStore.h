// The score server's database: the one-time tokens it has handed out and the results sent
// with them. One SQLite file; every statement is prepared with bound values.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct sqlite3;

namespace tk::scores {

struct TResultRow {
  std::string Name;     // UTF-8
  int32_t Score = 0;
  std::string Country;  // UTF-8, may be empty
  int64_t Time = 0;     // seconds since 1970, UTC
};

class TScoreStore {
 public:
  // Opens or creates the database; throws std::runtime_error when it cannot.
  explicit TScoreStore(const std::string& path);
  ~TScoreStore();
  TScoreStore(const TScoreStore&) = delete;
  TScoreStore& operator=(const TScoreStore&) = delete;

  // Remembers a token issued at `now`. Tokens older than TokenLifetime are forgotten, and
  // beyond MaxOpenTokens the oldest go, so a client asking in a loop cannot fill the disk.
  void AddToken(const std::string& token, int64_t now);
  // Uses up the token and stores the row in one transaction. False, with nothing stored,
  // when the token was never issued, has expired or was used already.
  bool StoreResult(const std::string& token, const TResultRow& row, int64_t now);
  // The best results, highest score first, earlier first among equal scores.
  std::vector<TResultRow> Best(int limit);
  int OpenTokens();
  int64_t ResultCount();

  static constexpr int64_t TokenLifetime = 3600;
  static constexpr int MaxOpenTokens = 100000;

 private:
  void Exec(const char* sql);
  sqlite3* db_ = nullptr;
};

}  // namespace tk::scores
