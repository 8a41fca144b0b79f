#include "ScoreService.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <limits>
#include <map>
#include <optional>
#include <vector>

#include <nlohmann/json.hpp>

#include "protocol/Protocol.h"
#include "replay/ReplayFile.h"
#include "protocol/Codec.h"
#include "platform/Cp1251.h"
#include "platform/NameCharacters.h"
#include "Downloads.h"
#include "SitePages.h"

namespace tk::scores {

namespace {

TReply Refuse(int status, std::string why) { return {status, "text/plain; charset=utf-8", why + "\n"}; }

std::vector<std::string_view> Split(std::string_view text, char sep) {
  std::vector<std::string_view> parts;
  for (;;) {
    const size_t at = text.find(sep);
    parts.push_back(text.substr(0, at));
    if (at == std::string_view::npos) return parts;
    text.remove_prefix(at + 1);
  }
}

// Names and countries follow the game's typing rule.
bool IsNameText(std::string_view s, size_t minLength) {
  if (s.size() < minLength || s.size() > 10) return false;
  for (char c : s)
    if (!IsNameCharacter(static_cast<uint8_t>(c))) return false;
  return true;
}

std::optional<int32_t> ParseScore(std::string_view s) {
  bool negative = false;
  if (!s.empty() && s[0] == '-') {
    negative = true;
    s.remove_prefix(1);
  }
  if (s.empty() || s.size() > 10) return std::nullopt;
  int64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
  }
  if (negative) v = -v;
  if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
    return std::nullopt;
  return static_cast<int32_t>(v);
}

std::string FormatTime(int64_t t) {
  const std::time_t tt = static_cast<std::time_t>(t);
  std::tm tm{};
  gmtime_r(&tt, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M", &tm);
  return buf;
}

constexpr int32_t PlausibleScoreThrough(int level) {
  int64_t sum = 0;
  for (int l = 1; l <= level; ++l) sum += TScoreService::PlausibleLevelScore(l);
  return static_cast<int32_t>(sum);
}

}  // namespace

std::string ReplayDigest(const replay::TReplay& r) {
  // The journal as the file format writes it, with nothing but the seed around it: another
  // start, trailer or header around the same game is the same game. Marks change nothing
  // in a game and are left out.
  replay::TReplay journal;
  journal.Seed = r.Seed;
  for (const replay::TEntry& e : r.Entries)
    if (e.Type != replay::TEntry::Mark) journal.Entries.push_back(e);
  const std::string bytes = replay::WriteReplay(journal);
  return Sha256Hex(bytes);
}

const int32_t TScoreService::MaxPlausibleScore = PlausibleScoreThrough(MaxPlausibleLevel);
static_assert(PlausibleScoreThrough(TScoreService::MaxPlausibleLevel) > 10'000'000 &&
              PlausibleScoreThrough(TScoreService::MaxPlausibleLevel) < 100'000'000);

std::string HtmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

TScoreService::TScoreService(TScoreStore& store, Clock clock)
    : store_(store), clock_(std::move(clock)) {
  if (!clock_)
    clock_ = [] {
      return static_cast<int64_t>(std::chrono::duration_cast<std::chrono::seconds>(
                                      std::chrono::system_clock::now().time_since_epoch())
                                      .count());
    };
  std::random_device rd;
  std::seed_seq seed{rd(), rd(), rd(), rd(), rd(), rd(), rd(), rd()};
  rng_.seed(seed);
}

std::string TScoreService::NewToken() {
  static constexpr char kHex[] = "0123456789abcdef";
  std::lock_guard lock(rngMutex_);
  std::string t;
  for (int i = 0; i < 2; ++i) {
    uint64_t v = rng_();
    for (int k = 0; k < 16; ++k, v >>= 4) t += kHex[v & 15];
  }
  return t;
}

TReply TScoreService::Handle(std::string_view path, std::string_view query,
                             std::string_view address) {
  if (path != "/cgi/version.pl") return Refuse(404, "not found");
  if (query.size() > MaxQuery) return Refuse(414, "query too long");
  // Each parameter once: a repeated one could mean two different things.
  std::map<std::string_view, std::string_view> params;
  for (std::string_view item : Split(query, '&')) {
    const size_t eq = item.find('=');
    const std::string_view key = item.substr(0, eq);
    const std::string_view value = eq == std::string_view::npos ? "" : item.substr(eq + 1);
    if (key.empty() || !params.emplace(key, value).second) return Refuse(400, "bad query");
  }
  auto has = [&](std::string_view k, std::string_view v) {
    auto it = params.find(k);
    return it != params.end() && it->second == v;
  };
  if (!has("prg", "Pondlark")) return Refuse(400, "bad query");
  try {
    if (params.size() == 2 && has("version", "")) return Version(address);
    if (params.size() == 3 && has("hs", "") && params.count("inf"))
      return Submit(params.at("inf"));
    if (params.size() == 3 && has("type", "0") && has("show", "")) return Show(false);
    if (params.size() == 4 && has("type", "0") && has("show", "") && has("verified", ""))
      return Show(true);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tinokvak-scores: %s\n", e.what());
    return Refuse(500, "server error");
  }
  return Refuse(400, "bad query");
}

TReply TScoreService::Version(std::string_view address) {
  const std::string token = NewToken();
  store_.AddToken(token, clock_(), std::string(address));
  // The game takes the fifth "|" field as its token.
  return {200, "text/plain; charset=utf-8", "OK|Pondlark|1.0|0|" + token + "|0"};
}

TReply TScoreService::Submit(std::string_view symbols) {
  if (symbols.size() > MaxSymbols) return Refuse(413, "result too long");
  // Eight symbols hold five bytes exactly; anything else was not padded as the game pads.
  if (symbols.empty() || symbols.size() % 8 != 0) return Refuse(400, "bad result");
  for (char c : symbols)
    if (EncodingAlphabet.find(c) == std::string_view::npos)
      return Refuse(400, "bad result");
  const std::string text = DecodeText(symbols);
  const std::vector<std::string_view> fields = Split(text, '|');
  static constexpr std::string_view kKeys[] = {"type", "name", "score", "key", "p", "add", "z"};
  if (fields.size() != std::size(kKeys)) return Refuse(400, "bad result");
  std::string_view value[std::size(kKeys)];
  for (size_t i = 0; i < fields.size(); ++i) {
    const size_t eq = fields[i].find('=');
    if (eq == std::string_view::npos || fields[i].substr(0, eq) != kKeys[i])
      return Refuse(400, "bad result");
    value[i] = fields[i].substr(eq + 1);
  }
  const std::string_view type = value[0], name = value[1], scoreText = value[2],
                         key = value[3], token = value[4], country = value[5], pad = value[6];
  const std::optional<int32_t> score = ParseScore(scoreText);
  if (type != "0" || !IsNameText(name, 1) || !score || !IsNameText(country, 0) ||
      pad.size() > 4 || pad.find_first_not_of('0') != std::string_view::npos)
    return Refuse(400, "bad result");
  if (key.size() != 1 || key[0] != online::ScoreKey) return Refuse(403, "wrong key");
  // A game starts at 0 and only ever adds points; see PlausibleLevelScore for the ceiling.
  if (*score < 0 || *score > MaxPlausibleScore) return Refuse(400, "implausible score");
  const int64_t now = clock_();
  TResultRow row{Cp1251ToUtf8(name), *score, Cp1251ToUtf8(country), now};
  if (!store_.StoreResult(std::string(token), row, now)) return Refuse(403, "unknown token");
  return {200, "text/plain; charset=utf-8", "OK"};
}

void TScoreService::SetChecker(TReplayChecker* checker) {
  checker_ = checker;
  if (checker_) checker_->Start([this] { return NextCheck(); });
}

int TScoreService::WaitingChecks() {
  return store_.WaitingChecks(clock_());
}

std::optional<TReplayChecker::Job> TScoreService::NextCheck() {
  const TCheckerOptions& o = checker_->Options();
  for (;;) {
    const int64_t now = clock_();
    // Time for the check and to spare; a server that dies holding it lets it go then.
    std::optional<TQueuedCheck> c = store_.TakeCheck(now, now + 2 * int64_t{o.Seconds} + 5);
    if (!c) return std::nullopt;
    if (c->Attempts > MaxCheckAttempts) {
      // Taken so often without an end: the checker (or its server) dies on it.
      std::fprintf(stderr, "tinokvak-scores: the replay of result %lld was given up after %d checks\n",
                   static_cast<long long>(c->Claim.Id), MaxCheckAttempts);
      store_.FinishCheck(c->Id);
      continue;
    }
    return TReplayChecker::Job([this, check = std::move(*c)] { Verify(check); });
  }
}

namespace {
const char* const kQueueFull = "too many replays waiting, try later";
const char* const kAddressFull = "too many of your replays are waiting, try later";
}  // namespace

std::optional<TReply> TScoreService::TurnsUploadAway(std::string_view address) {
  if (!checker_) return std::nullopt;  // refused anyway, with its own reason
  const int64_t now = clock_();
  std::lock_guard lock(fullMutex_);
  if (queueFullAt_ == now) return Refuse(503, kQueueFull);
  const auto it = addressFullAt_.find(address);
  if (it != addressFullAt_.end() && it->second == now) return Refuse(503, kAddressFull);
  return std::nullopt;
}

void TScoreService::NoteFull(TScoreStore::TQueued why, std::string_view address) {
  const int64_t now = clock_();
  std::lock_guard lock(fullMutex_);
  if (why == TScoreStore::TQueued::QueueFull) {
    queueFullAt_ = now;
    return;
  }
  if (addressFullAt_.size() >= MaxFullAddresses) {
    std::erase_if(addressFullAt_, [&](const auto& e) { return e.second != now; });
    // All from this second: forgetting them costs a look at the database each, no more.
    if (addressFullAt_.size() >= MaxFullAddresses) addressFullAt_.clear();
  }
  addressFullAt_.insert_or_assign(std::string(address), now);
}

TReply TScoreService::HandleUpload(std::string_view query, const std::string& bytes,
                                   std::string_view address) {
  std::map<std::string_view, std::string_view> params;
  for (std::string_view item : Split(query, '&')) {
    const size_t eq = item.find('=');
    if (eq == std::string_view::npos || !params.emplace(item.substr(0, eq), item.substr(eq + 1)).second)
      return Refuse(400, "bad query");
  }
  if (params.size() != 2 || params.count("prg") == 0 || params.at("prg") != "Pondlark" ||
      params.count("p") == 0)
    return Refuse(400, "bad query");
  const std::string token(params.at("p"));
  if (!checker_) return Refuse(503, "replays are not checked here");
  // A full queue turns the upload away before the file is read and hashed, which costs
  // milliseconds of CPU for a long game: clients sending again and again while it is full
  // would otherwise take the processor from everybody else. Queueing looks again, for
  // certain.
  try {
    if (static_cast<size_t>(store_.WaitingChecks(clock_())) >= checker_->Options().QueueCap) {
      NoteFull(TScoreStore::TQueued::QueueFull, address);
      return Refuse(503, kQueueFull);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tinokvak-scores: %s\n", e.what());
    return Refuse(500, "server error");
  }
  // What the replay claims is read before anything is used up: a damaged file costs the
  // game nothing and may be sent again.
  replay::TReplay r;
  try {
    r = replay::ReadReplay(bytes);
  } catch (const replay::EReplayError& e) {
    return Refuse(400, std::string("not a replay: ") + e.what());
  }
  try {
    const std::optional<TReplayClaim> claim = store_.ClaimReplay(token, clock_());
    if (!claim) return Refuse(403, "unknown token");
    // The trailer is only the file's summary, never the proof; but a score it does not
    // share with the result cannot be that result's game, and costs no check.
    if (r.Trailer.Score != claim->Score) return Refuse(422, "the replay is of another result");
    const TReplayClaim c = *claim;
    const TCheckerOptions& o = checker_->Options();
    const TScoreStore::TQueued queued = store_.QueueCheck(
        c.Id, std::string(address), bytes, ReplayDigest(r), static_cast<int>(o.QueueCap), o.PerAddress);
    switch (queued) {
      case TScoreStore::TQueued::QueueFull:
      case TScoreStore::TQueued::AddressFull:
        NoteFull(queued, address);
        return Refuse(503, queued == TScoreStore::TQueued::QueueFull ? kQueueFull : kAddressFull);
      case TScoreStore::TQueued::Yes: break;
    }
    checker_->Wake();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tinokvak-scores: %s\n", e.what());
    return Refuse(500, "server error");
  }
  return {202, "text/plain; charset=utf-8", "queued\n"};
}

void TScoreService::Verify(const TQueuedCheck& check) {
  const TReplayClaim& claim = check.Claim;
  const TCheckOutcome out = RunChecker(checker_->Options(), check.Replay);
  if (out.Starved) {
    // The machine was too busy to run it, which says nothing of the replay: it stays in
    // the queue, and once its lease runs out this server or another checks it again (a
    // few times at most, see NextCheck).
    std::fprintf(stderr, "tinokvak-scores: the replay of result %lld waits for another check (%s)\n",
                 static_cast<long long>(claim.Id), CheckFailure(out, checker_->Options()).c_str());
    return;
  }
  // Exit 0: the replay is one whole game from the main menu to its name entry, played back
  // on our data to the score, level and lives its trailer gives. Its one line tells the
  // result that game itself recorded, the name as typed at its name entry: that is what
  // must be ours.
  std::string why = CheckFailure(out, checker_->Options());
  if (why.empty()) {
    const nlohmann::json state = nlohmann::json::parse(out.LastLine, nullptr, false);
    if (!state.is_object() || !state.contains("score") || !state["score"].is_number_integer() ||
        !state.contains("name") || !state["name"].is_string())
      why = "the checker told no result";
    else if (state["score"].get<int64_t>() != claim.Score)
      why = "its game ends on another score";
    else if (state["name"].get<std::string>() != claim.Name)
      why = "its game entered another name";
  }
  try {
    if (why.empty() && !store_.KeepVerified(claim.Id, check.Replay, check.Digest))
      why = "the same game verified a result already";
    store_.FinishCheck(check.Id);
    if (why.empty()) return;
  } catch (const std::exception& e) {
    why = e.what();
  }
  std::fprintf(stderr, "tinokvak-scores: the replay of result %lld was not verified (%s)\n",
               static_cast<long long>(claim.Id), why.c_str());
}

TReply TScoreService::Show(bool verifiedOnly) {
  std::string page =
      "<!DOCTYPE html>\n<html lang=\"ru\">\n<head>\n<meta charset=\"utf-8\">\n" +
      PageHead({verifiedOnly ? "Тиноквак: проверенные результаты" : "Тиноквак: лучшие результаты",
                "Сто лучших результатов игры Тиноквак, присланных игроками; игру каждого проверенного "
                "результата можно посмотреть в браузере.",
                verifiedOnly ? "/cgi/version.pl?prg=Pondlark&type=0&show&verified"
                             : "/cgi/version.pl?prg=Pondlark&type=0&show"},
               siteAddress_) +
      "</head>\n<body>\n"
      "<h1>Тиноквак: лучшие результаты</h1>\n"
      "<nav><a href=\"/\">Об игре</a><a href=\"/play/\">Играть</a><a href=\"/#install\">Установка</a></nav>\n";
  page += verifiedOnly
              ? "<p>Только проверенные результаты: их игры проиграны заново на сервере; ▶ показывает игру. "
                "<a href=\"/cgi/version.pl?prg=Pondlark&amp;type=0&amp;show\">Все результаты</a></p>\n"
              : "<p>✓ — результат проверен: его игра проиграна заново на сервере; ▶ показывает эту игру. "
                "<a href=\"/cgi/version.pl?prg=Pondlark&amp;type=0&amp;show&amp;verified\">Только "
                "проверенные</a></p>\n";
  const std::vector<TResultRow> rows = store_.Best(ShownResults, verifiedOnly);
  if (rows.empty()) {
    page += "<p>Пока нет ни одного результата.</p>\n";
  } else {
    page +=
        "<div class=\"wide\">\n<table>\n<tr><th>#</th><th>Имя</th><th>Очки</th><th>Страна</th><th>Когда (UTC)</th>"
        "</tr>\n";
    int place = 0;
    for (const TResultRow& r : rows) {
      page += "<tr><td>" + std::to_string(++place) + "</td><td>" + HtmlEscape(r.Name) +
              (r.Verified ? " <span class=\"verified\" title=\"проверен\">✓</span> <a class=\"watch\" "
                            "href=\"/play/?watch=" + std::to_string(r.Id) +
                                "\" title=\"Смотреть игру\" aria-label=\"Смотреть игру\">▶</a>"
                          : "") +
              "</td><td class=\"score\">" + std::to_string(r.Score) + "</td><td>" +
              HtmlEscape(r.Country) + "</td><td>" + FormatTime(r.Time) + "</td></tr>\n";
    }
    page += "</table>\n</div>\n";
  }
  page += "</body>\n</html>\n";
  return {200, "text/html; charset=utf-8", page};
}

}  // namespace tk::scores
