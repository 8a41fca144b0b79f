// The score server's answers, apart from the transport: the version request hands out a
// one-time token, the submission is decoded, checked and stored, and the show request
// lists the best results as a small HTML page.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <string_view>

#include "ScoreStore.h"

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
  TReply Handle(std::string_view path, std::string_view query);

  static constexpr size_t MaxQuery = 1024;
  static constexpr size_t MaxSymbols = 320;  // well above the longest payload (about 170)
  static constexpr int ShownResults = 100;

 private:
  TReply Version();
  TReply Submit(std::string_view symbols);
  TReply Show();
  std::string NewToken();

  TScoreStore& store_;
  Clock clock_;
  std::mutex mutex_;
  std::mt19937_64 rng_;
};

// "&", "<", ">", '"' and "'" as character references.
std::string HtmlEscape(std::string_view text);

}  // namespace tk::scores
