// The score server's transport: an event-driven HTTP/1.1 server on one thread, so slow or
// stalled clients cost a socket and a little memory each and never hold up the others.
// Requests that reach the database are answered on a few worker threads, so a slow
// database never holds up the loop (the site's files, other connections).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "ScoreService.h"
#include "Site.h"

namespace tk::scores {

struct TServerLimits {
  // A whole request (line, headers and body) must arrive within this time, counted from
  // the connection's start or the previous reply; a client that trickles is cut off.
  int RequestSeconds = 10;
  // Request line and headers together; more is answered 431 and the connection closed.
  uint32_t HeaderBytes = 8 * 1024;
  // The game sends no body but with a replay; a small one is read and ignored.
  uint32_t BodyBytes = 4 * 1024;
  // A replay upload's body; larger ones are answered 413. A ten-minute game records in
  // well under 100 KB.
  uint32_t ReplayBytes = 1024 * 1024;
  // Requests being served at once for one address (from a request's first byte to its
  // reply); more are answered 503 and closed. An idle kept connection holds none, so many
  // players behind one address are not turned away for keeping theirs open.
  int PerAddress = 32;
  // Connections open at once from one address, idle ones included: only against running
  // the server out of descriptors.
  int ConnectionsPerAddress = 1024;
  // Connections the kernel queues before they are accepted: a burst of players at once
  // should wait for their turn, not be refused.
  int Backlog = 4096;
  // Threads that answer the requests reaching the database, off the event loop. They are
  // more than the database connections (DbConnections): a request waiting for one waits in
  // the store, where the token requests and results that wait together go in one batch.
  int Workers = 32;
  // Threads that take replay uploads (read the file, claim its result, queue its check):
  // apart from the workers, so that a flood of uploads leaves the table, the tokens and the
  // results their threads.
  int UploadWorkers = 2;
  // Database connections for the workers; there is one more for each upload worker and
  // each check that may run at once, so that those never leave the workers fewer.
  int DbConnections = 4;
};

// One request's raw bytes through the same parser and answers the server uses: the reply
// as it would be written (after a "100 Continue" when the request asked for one), whether
// the connection would stay open, and how many bytes the request took. An incomplete
// request gives an empty reply, or the "100 Continue" alone. For tests and fuzzing.
struct TRawExchange {
  std::string Reply;
  bool KeepAlive = false;
  size_t Used = 0;
};
TRawExchange AnswerRaw(TScoreService& service, std::string_view bytes,
                       const TServerLimits& limits = {}, const TSite* site = nullptr);

// Listens on address:port (0 takes any free port), prints "listening on http://ADDRESS:PORT"
// and serves until SIGINT or SIGTERM: the site's files, and the game's requests to the
// service. Returns the exit status.
int Serve(TScoreService& service, const std::string& address, int port,
          const TServerLimits& limits = {}, const TSite* site = nullptr);

}  // namespace tk::scores
