// The online submission: ask the score server for a one-time token, then send the result
// with it, encoded, then the game's replay. Each step is a request that runs while the
// game goes on; its reply, picked up between frames, starts the next. No failure stops
// the game.
#include <cstdio>
#include <utility>

#include "online/Online.h"
#include "protocol/Protocol.h"
#include "online/State.h"
#include "protocol/Codec.h"
#include "platform/Cp1251.h"

namespace tk::online {

namespace {

void Get(TMainForm& f, TOnlineState& st, TNetPurpose purpose, std::string_view pathAndQuery) {
  platform::HttpRequest req;
  req.Url = ServerUrl(f.Options.ScoreServer, pathAndQuery);
  st.InFlight = f.StartRequest(purpose, std::move(req));
}

bool SaysOk(const platform::HttpResult& r) { return r.Ok && r.Body.compare(0, 2, "OK") == 0; }

void SendReplay(TMainForm& f, TOnlineState& st) {
  const std::string token = std::exchange(st.ReplayUploadToken, {});
  platform::HttpRequest req;
  req.Url = ServerUrl(f.Options.ScoreServer, std::string(ReplayUploadRequest) + token);
  req.Post = true;
  req.Body = std::exchange(st.ReplayBytes, {});
  // Kept until the server has answered: a busy one gets it again later.
  st.RetryToken = token;
  st.RetryBytes = req.Body;
  st.Step = TOnlineState::TStep::Replay;
  st.InFlight = f.StartRequest(NetReplay, std::move(req));
}

void Finished(TOnlineState& st) {
  st.Step = TOnlineState::TStep::Idle;
  st.InFlight = 0;
}

// The version reply carries the token. A failure is told whatever the game is doing by
// now (a replay that journaled this reply tells it at the same point).
void OnVersionReply(TMainForm& f, TOnlineState& st, const platform::HttpResult& r) {
  if (!SaysOk(r)) {
    if (st.Step == TOnlineState::TStep::Version) Finished(st);
    f.Plat.Shell->MessageBox("Can't connect to server!", Cp("Тиноквак"),
                             platform::MessageStyle::Information);
    return;
  }
  st.ResultToken = ResultTokenOf(r.Body);
  if (st.Step != TOnlineState::TStep::Version) return;
  st.Step = TOnlineState::TStep::Result;
  std::string query(SubmitRequest);
  query += EncodeText(PadPayload(ResultPayload(st.SentName, st.SentScore, st.ResultToken,
                                               st.SentCountry)));
  Get(f, st, NetResult, query);
}

// The reply says nothing else the game uses; "OK" means a replay may follow.
void OnResultReply(TMainForm& f, TOnlineState& st, const platform::HttpResult& r) {
  if (st.Step != TOnlineState::TStep::Result) return;
  Finished(st);
  if (!SaysOk(r)) return;
  st.ReplayUploadToken = st.ResultToken;
  if (!st.ReplayBytes.empty()) SendReplay(f, st);
}

void OnReplayReply(TMainForm& f, TOnlineState& st, const platform::HttpResult& r) {
  if (st.Step == TOnlineState::TStep::Replay) Finished(st);
  if (ReplayMayBeTakenLater(r) && !st.RetryBytes.empty()) {
    // Not taken now (the server unreachable, failing or too busy): kept on disk at once,
    // so that quitting loses nothing, and the same upload again later.
    KeepUnsent(f, st.RetryToken, st.RetryBytes);
    if (st.Retries < MaxReplayRetries) {
      st.RetryAt = f.Plat.Clock->NowMs() + (FirstReplayRetryMs << st.Retries);
      ++st.Retries;
      return;
    }
  } else {
    ForgetUnsent(f, st.RetryToken);
  }
  st.RetryToken.clear();
  st.RetryBytes.clear();
  st.Retries = 0;
  if (r.Ok) return;
  const std::string why = r.Status ? "the server answered " + std::to_string(r.Status)
                                   : r.Error.empty() ? "no reply" : r.Error;
  std::fprintf(stderr, "%s: the replay was not sent to the score server: %s%s\n",
               Cp1251ToUtf8(Cp("Тиноквак")).c_str(), why.c_str(),
               ReplayMayBeTakenLater(r) ? " (kept to be sent at the next start)" : "");
}

}  // namespace

void RegisterSubmission(TMainForm& form, TOnlineState& state) {
  TMainForm* f = &form;
  TOnlineState* st = &state;
  form.NetReplies[NetVersion] = [f, st](const platform::HttpResult& r) {
    OnVersionReply(*f, *st, r);
  };
  form.NetReplies[NetResult] = [f, st](const platform::HttpResult& r) {
    OnResultReply(*f, *st, r);
  };
  form.NetReplies[NetReplay] = [f, st](const platform::HttpResult& r) { OnReplayReply(*f, *st, r); };
  form.Hooks.IdleStep = [f, st] {
    RetryReplay(*f, *st);
    SendUnsent(*f, *st);
  };
  RegisterUnsent(form, state);
}

void RetryReplay(TMainForm& f, TOnlineState& st) {
  if (st.Retries == 0 || st.RetryBytes.empty() || st.Step != TOnlineState::TStep::Idle ||
      f.Plat.Clock->NowMs() < st.RetryAt)
    return;
  st.ReplayUploadToken = st.RetryToken;
  st.ReplayBytes = st.RetryBytes;
  SendReplay(f, st);
}

void SubmitResult(TMainForm& f, TOnlineState& st) {
  // A submission still under way gives way to the new one, and so does a replay waiting
  // to be sent again.
  f.CancelRequest(std::exchange(st.InFlight, 0));
  st.ReplayUploadToken.clear();
  st.RetryToken.clear();
  st.RetryBytes.clear();
  st.Retries = 0;
  st.Step = TOnlineState::TStep::Version;
  Get(f, st, NetVersion, VersionRequest);
}

void UploadReplay(TMainForm& f, const std::string& replayBytes) {
  TOnlineState& st = f.Module<TOnlineState>();
  st.ReplayBytes = replayBytes;
  if (!st.ReplayUploadToken.empty() && st.Step == TOnlineState::TStep::Idle) SendReplay(f, st);
}

}  // namespace tk::online
