// The online submission: ask the score server for a one-time token, then send the result
// with it, encoded. Both requests block the game while they last (the HTTP client gives
// up after 10 s); neither failure stops the game.
#include <cstdio>
#include <utility>

#include "online/Online.h"
#include "protocol/Protocol.h"
#include "online/State.h"
#include "protocol/Codec.h"
#include "platform/Cp1251.h"

namespace tk::online {

namespace {

// The reply body, or empty on any failure.
std::string Fetch(TMainForm& f, std::string_view pathAndQuery) {
  if (!f.Plat.Http) return {};
  try {
    platform::HttpResult r = f.Plat.Http->Get(ServerUrl(f.Options.ScoreServer, pathAndQuery));
    return r.Ok ? std::move(r.Body) : std::string();
  } catch (const std::exception&) {
    return {};
  }
}

}  // namespace

void SubmitResult(TMainForm& f, TOnlineState& st) {
  st.ReplayUploadToken.clear();
  const std::string reply = Fetch(f, VersionRequest);
  if (reply.compare(0, 2, "OK") != 0) {
    f.Plat.Shell->MessageBox("Can't connect to server!", Cp("Тиноквак"),
                             platform::MessageStyle::Information);
    return;
  }
  st.ResultToken = ResultTokenOf(reply);
  const std::string payload =
      PadPayload(ResultPayload(f.Edit2, f.Score, st.ResultToken, f.Edit1));
  std::string query(SubmitRequest);
  query += EncodeText(payload);
  // The reply says nothing else the game uses; "OK" means a replay may follow.
  if (Fetch(f, query).compare(0, 2, "OK") == 0) st.ReplayUploadToken = st.ResultToken;
}

void UploadReplay(TMainForm& f, const std::string& replayBytes) {
  const std::string token = std::exchange(f.Module<TOnlineState>().ReplayUploadToken, {});
  if (token.empty() || !f.Plat.Http) return;
  std::string why;
  try {
    const platform::HttpResult r = f.Plat.Http->Post(
        ServerUrl(f.Options.ScoreServer, std::string(ReplayUploadRequest) + token), replayBytes);
    if (!r.Ok) why = r.Status ? "the server answered " + std::to_string(r.Status) : r.Error;
  } catch (const std::exception& e) {
    why = e.what();
  }
  if (!why.empty())
    std::fprintf(stderr, "%s: the replay was not sent to the score server: %s\n",
                 Cp1251ToUtf8(Cp("Тиноквак")).c_str(), why.c_str());
}

}  // namespace tk::online
