// The score server's answers, apart from the transport: the version request hands out a
// one-time token, the submission is decoded, checked and stored, and the show request
// lists the best results as a small HTML page.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <string_view>

#include "ReplayChecker.h"
#include "ScoreStore.h"
#include "replay/ReplayFile.h"

namespace tk::scores {

struct TReply {
  int Status = 200;
  std::string ContentType = "text/plain; charset=utf-8";
  std::string Body;
};

class TScoreService {
 public:
  using Clock = std::function<int64_t()>;  // seconds since 1970
  explicit TScoreService(TScoreStore& store, Clock clock = {});

  // A request's path and its query as sent (nothing is percent-decoded: the game's queries
  // are plain letters and digits). Safe to call from several threads.
  // The address is the client's (it bounds the tokens open for one address).
  TReply Handle(std::string_view path, std::string_view query, std::string_view address = {});

  // The replay of a game whose result was sent with token p, posted to ReplayPath with
  // the query "prg=Pondlark&p=TOKEN": answered at once, checked later on the checker.
  // The result is marked verified when its replay is one whole game from the main menu
  // that plays back, on this server's game data, to the sent score with the sent name
  // typed at its own name entry, and no replay of the same game verified a result before.
  // An upload that does not verify the result leaves its token usable for another.
  // The upload waits in the database's check queue: a replay that does not fit
  // (QueueCap waiting, or PerAddress of the sender's address queued or being checked) is
  // answered 503, and the game sends it again later.
  TReply HandleUpload(std::string_view query, const std::string& replay,
                      std::string_view address = {});
  static constexpr std::string_view ReplayPath = "/cgi/replay.pl";
  // Replays are refused while no checker is set. Setting one starts it on the queue; it
  // must outlive the service's use of it (it calls back into the service from its
  // threads). A check taken and not finished (its server died) is taken again once its
  // lease runs out; one that was taken MaxCheckAttempts times is given up.
  void SetChecker(TReplayChecker* checker);
  static constexpr int MaxCheckAttempts = 3;
  // Replays waiting in the queue (for tests).
  int WaitingChecks();
  // The store, for the routes that only read it (the kept replays).
  TScoreStore& Store() const { return store_; }
  // The site's own address for the table page's absolute links (SitePages.h); empty:
  // none. Set before serving.
  void SetSiteAddress(std::string address) { siteAddress_ = std::move(address); }

  // The highest score a game can plausibly reach, from the game's own rules. The result
  // carries no level, so this sums what each level can add over the levels a game can
  // plausibly reach; the pieces are in PlausibleLevelScore.
  static constexpr int64_t PlausibleLevelScore(int64_t level);
  static constexpr int MaxPlausibleLevel = 129;
  static const int32_t MaxPlausibleScore;

  static constexpr size_t MaxQuery = 1024;
  static constexpr size_t MaxSymbols = 320;  // well above the longest payload (about 170)
  static constexpr int ShownResults = 100;

 private:
  TReply Version(std::string_view address);
  TReply Submit(std::string_view symbols);
  TReply Show(bool verifiedOnly);
  std::optional<TReplayChecker::Job> NextCheck();
  void Verify(const TQueuedCheck& check);
  std::string NewToken();

  TScoreStore& store_;
  Clock clock_;
  // The store is safe to use from several threads and holds no request up for another;
  // only the token generator takes turns.
  std::mutex rngMutex_;
  std::mt19937_64 rng_;
  TReplayChecker* checker_ = nullptr;
  std::string siteAddress_;
};

// What level L can add at most, beyond what luck plausibly gives:
// - Feeding: the stage runs 10·L + 20 s of play (its clock starts at 10·L + 19 and ends
//   below zero) at no more than 34 ticks a second (one per 30 ms); an insect appears on at
//   most 5 % of ticks (levels 5 and up) and is worth at most 25 (a bee). That is 42.5
//   points a second if every insect were a bee and every one were caught; twice that
//   leaves room for luck: 85 · (10·L + 20).
// - The pond: 5 points a jump, and the bottle starves the frog once Hunger div L passes its
//   8 pictures, so one life gives at most 8·L jumps, 40·L points. A pond of level L shows
//   20 + 8·L lily cells per life (five rows, two more for each level); a pickup lies on
//   one cell in twenty and four in five pickups are dollars (100): allow one cell in five,
//   20 · (20 + 8·L). Allow four lives spent on every level's pond.
// - Levels: reaching level L takes at least 5·L² + 25·L seconds of feeding alone; 129
//   levels are a full day of play without a pause.
constexpr int64_t TScoreService::PlausibleLevelScore(int64_t level) {
  const int64_t feeding = 85 * (10 * level + 20);
  const int64_t pondPerLife = 40 * level + 20 * (20 + 8 * level);
  return feeding + 4 * pondPerLife;
}

// The SHA-256 of a replay's journal and seed, in hex: the game it holds, whatever header,
// start or trailer surround it.
std::string ReplayDigest(const replay::TReplay& r);

// "&", "<", ">", '"' and "'" as character references.
std::string HtmlEscape(std::string_view text);

}  // namespace tk::scores
