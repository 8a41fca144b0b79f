// The score store a test runs against: an SQLite file in the test's folder, or the
// PostgreSQL database TK_TEST_SCORE_DB names (emptied first), so the same tests cover both.
// Shared by the server's tests and the game's submission tests.
#pragma once

#include <libpq-fe.h>

#include <cstdlib>
#include <memory>

#include <gtest/gtest.h>

#include "ScoreStore.h"
#include "support/GameDir.h"

namespace tk::testing {

inline std::unique_ptr<scores::TScoreStore> OpenTestStore(const TempGameDir& dir) {
  const char* url = std::getenv("TK_TEST_SCORE_DB");
  if (!url || !*url) return scores::OpenScoreStore((dir.Path() / "scores.db").string());
  PGconn* c = PQconnectdb(url);
  EXPECT_EQ(PQstatus(c), CONNECTION_OK) << PQerrorMessage(c);
  PQclear(PQexec(c, "SET client_min_messages = warning"));
  PQclear(PQexec(c, "DROP TABLE IF EXISTS tokens, results, tinokvak_schema"));
  PQfinish(c);
  return scores::OpenScoreStore(url);
}

}  // namespace tk::testing
