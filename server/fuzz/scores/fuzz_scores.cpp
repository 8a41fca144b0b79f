// The score server on arbitrary input, twice: as a raw query, and as the plain text of a
// submitted result (a "@@" in it stands for a freshly issued token). Whatever it stores
// must be a result the game could have sent, and the page must stay free of markup from it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "ScoreService.h"
#include "protocol/Protocol.h"
#include "protocol/Codec.h"

namespace {

tk::scores::TScoreStore& Store() {
  static tk::scores::TSqliteStore store(":memory:");
  return store;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  tk::scores::TScoreService service(Store(), [] { return int64_t{1700000000}; });
  const int64_t before = Store().ResultCount();

  const tk::scores::TReply raw = service.Handle("/cgi/version.pl", input);
  if (raw.Status != 200 && (raw.Status < 400 || raw.Status >= 500)) __builtin_trap();

  std::string payload(input);
  const std::string token = tk::online::ResultTokenOf(service.Handle("/cgi/version.pl", "version&prg=Pondlark").Body);
  if (token.empty()) __builtin_trap();
  if (const size_t at = payload.find("@@"); at != std::string::npos) payload.replace(at, 2, token);
  const std::string query =
      "hs&prg=Pondlark&inf=" + tk::EncodeText(tk::online::PadPayload(payload));
  const tk::scores::TReply submitted = service.Handle("/cgi/version.pl", query);
  if (submitted.Status != 200 && (submitted.Status < 400 || submitted.Status >= 500))
    __builtin_trap();

  const int64_t after = Store().ResultCount();
  const int64_t stored = after - before;
  // Only a result can be stored, and only one per token.
  if (stored > (raw.Status == 200 ? 1 : 0) + (submitted.Status == 200 ? 1 : 0)) __builtin_trap();
  const std::string page = service.Handle("/cgi/version.pl", "prg=Pondlark&type=0&show").Body;
  if (page.find("<script") != std::string::npos) __builtin_trap();
  return 0;
}
