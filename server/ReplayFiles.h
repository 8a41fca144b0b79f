// The replays of verified results, served from the database so that every server of one
// database serves them all: /replays/ID is the replay file as the game recorded it and
// /replays/ID.json what it proved (name, score, level). A verified result never changes,
// so both are cached for good; an unknown or unverified result is a plain 404.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ScoreStore.h"

namespace tk::scores {

inline constexpr std::string_view kReplaysPrefix = "/replays/";
inline constexpr std::string_view kReplayContentType = "application/vnd.tinokvak.replay";

// A path under /replays/ (answered by AnswerReplay, whatever follows).
inline bool IsReplaysPath(std::string_view path) { return path.rfind(kReplaysPrefix, 0) == 0; }

// What "/replays/ID" or "/replays/ID.json" names: the id, and whether the summary is
// asked for. Nothing for anything else: the id is plain decimal digits without a leading
// zero (one address for each replay) that fit in 63 bits.
struct TReplayRequest {
  int64_t Id = 0;
  bool Json = false;
};
std::optional<TReplayRequest> ParseReplayPath(std::string_view path);

struct TReplayAnswer {
  int Status = 404;
  std::string ContentType = "text/plain; charset=utf-8";
  std::string Body;
  std::string ETag;  // quoted; set with 200
};

// The answer to a GET of PATH. Throws what the store throws.
TReplayAnswer AnswerReplay(TScoreStore& store, std::string_view path);

// The summary /replays/ID.json serves: {"id":N,"name":"…","score":N,"level":N,"verified":true}.
// The level is the one the replay's own trailer gives (the check played the game to it).
std::string ReplaySummaryJson(const TVerifiedReplay& r);

}  // namespace tk::scores
