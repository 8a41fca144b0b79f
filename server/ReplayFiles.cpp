#include "ReplayFiles.h"

#include <cstdio>

#include <nlohmann/json.hpp>
#include <openssl/evp.h>

#include "replay/ReplayFile.h"

namespace tk::scores {

namespace {

// A strong tag from the bytes: the first 128 bits of their SHA-256.
std::string TagOf(std::string_view bytes, std::string_view suffix) {
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  if (!EVP_Digest(bytes.data(), bytes.size(), md, &n, EVP_sha256(), nullptr))
    throw std::runtime_error("cannot hash a replay");
  static constexpr char kHex[] = "0123456789abcdef";
  std::string tag = "\"";
  for (unsigned int i = 0; i < 16 && i < n; ++i) {
    tag += kHex[md[i] >> 4];
    tag += kHex[md[i] & 15];
  }
  return tag + std::string(suffix) + "\"";
}

TReplayAnswer NotFound() { return {404, "text/plain; charset=utf-8", "no verified replay here\n", {}}; }

}  // namespace

std::optional<TReplayRequest> ParseReplayPath(std::string_view path) {
  if (!IsReplaysPath(path)) return std::nullopt;
  std::string_view rest = path.substr(kReplaysPrefix.size());
  TReplayRequest req;
  constexpr std::string_view kJson = ".json";
  if (rest.size() > kJson.size() && rest.substr(rest.size() - kJson.size()) == kJson) {
    req.Json = true;
    rest.remove_suffix(kJson.size());
  }
  // Up to 18 digits always fit in 63 bits.
  if (rest.empty() || rest.size() > 18 || rest[0] == '0') return std::nullopt;
  for (char c : rest) {
    if (c < '0' || c > '9') return std::nullopt;
    req.Id = req.Id * 10 + (c - '0');
  }
  return req;
}

std::string ReplaySummaryJson(const TVerifiedReplay& r) {
  int32_t level = 0;
  try {
    level = replay::ReadReplay(r.Replay).Trailer.Level;
  } catch (const replay::EReplayError&) {
    // Verified replays were read before their check; a kept one that no longer reads (a
    // newer game's format) still has its name and score told.
  }
  // In the order the page and its readers know it.
  nlohmann::ordered_json j = nlohmann::ordered_json::object();
  j["id"] = r.Id;
  // Names are kept as valid UTF-8; anything else is replaced rather than refused.
  j["name"] = r.Name;
  j["score"] = r.Score;
  j["level"] = level;
  j["verified"] = true;
  return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

TReplayAnswer AnswerReplay(TScoreStore& store, std::string_view path) {
  const std::optional<TReplayRequest> req = ParseReplayPath(path);
  if (!req) return NotFound();
  const std::optional<TVerifiedReplay> kept = store.VerifiedReplay(req->Id);
  if (!kept) return NotFound();
  TReplayAnswer a;
  a.Status = 200;
  if (req->Json) {
    a.ContentType = "application/json";
    a.Body = ReplaySummaryJson(*kept);
    a.ETag = TagOf(a.Body, "-json");
  } else {
    a.ContentType = std::string(kReplayContentType);
    a.Body = kept->Replay;
    a.ETag = TagOf(a.Body, "");
  }
  return a;
}

}  // namespace tk::scores
