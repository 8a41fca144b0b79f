// Replays whose upload could not be done (the server unreachable or too busy through every
// try) are kept on disk beside Config.cfg, in Unsent/, one file each with the token of the
// result they verify, and sent at the next start: a few starts at most, one file at a
// time. A file the server no longer takes (its result expired or verified, or the replay
// refused) goes; a damaged one is set aside under another name and never sent.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <system_error>
#include <utility>
#include <vector>

#include "online/Online.h"
#include "online/State.h"
#include "platform/Cp1251.h"
#include "protocol/Protocol.h"
#include "replay/ReplayFile.h"

namespace tk::online {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kMagic = "TINOKVAK-UNSENT 1\n";
constexpr std::string_view kExtension = ".tku";

void Say(const std::string& line) {
  std::fprintf(stderr, "%s: %s\n", Cp1251ToUtf8(Cp("Тиноквак")).c_str(), line.c_str());
}

fs::path UnsentFile(const TMainForm& f, const std::string& token) {
  return UnsentFolder(f) / (token + std::string(kExtension));
}

// Written whole or not at all: a temporary file renamed over the old one.
bool WriteUnsent(const fs::path& path, const TUnsentUpload& u, std::string& error) {
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  const fs::path temp = path.string() + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    const std::string bytes = FormatUnsent(u);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out) {
      error = "cannot write " + temp.string();
      fs::remove(temp, ec);
      return false;
    }
  }
  fs::rename(temp, path, ec);
  if (ec) {
    error = "cannot write " + path.string() + ": " + ec.message();
    fs::remove(temp, ec);
    return false;
  }
  return true;
}

void Remove(const fs::path& path) {
  std::error_code ec;
  fs::remove(path, ec);
}

// Set aside where nothing reads it again, for whoever wants to look.
void SetAside(const fs::path& path, const std::string& why) {
  std::error_code ec;
  const fs::path aside = path.string() + ".damaged";
  fs::rename(path, aside, ec);
  Say(path.string() + ": " + why + (ec ? "; it could not be set aside: " + ec.message()
                                       : "; set aside as " + aside.string()));
}

void SendNextUnsent(TMainForm& f, TOnlineState& st) {
  while (!st.UnsentQueue.empty() && st.UnsentInFlight == 0) {
    const fs::path path = std::move(st.UnsentQueue.front());
    st.UnsentQueue.erase(st.UnsentQueue.begin());
    std::ifstream in(path, std::ios::binary);
    if (!in) continue;  // gone meanwhile
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    std::optional<TUnsentUpload> u = ParseUnsent(bytes);
    if (!u || path.stem().string() != u->Token) {
      SetAside(path, "not a replay kept for sending");
      continue;
    }
    platform::HttpRequest req;
    req.Url = ServerUrl(f.Options.ScoreServer, std::string(ReplayUploadRequest) + u->Token);
    req.Post = true;
    req.Body = std::move(u->Replay);
    st.UnsentSending = path;
    st.UnsentTries = u->Tries + 1;
    st.UnsentInFlight = f.StartRequest(NetUnsent, std::move(req));
    if (st.UnsentInFlight == 0) st.UnsentQueue.clear();  // nothing can be sent in this run
  }
}

void OnUnsentReply(TMainForm& f, TOnlineState& st, const platform::HttpResult& r) {
  if (st.UnsentInFlight == 0) return;
  st.UnsentInFlight = 0;
  const fs::path path = std::exchange(st.UnsentSending, {});
  if (r.Ok) {
    Remove(path);
  } else if (!ReplayMayBeTakenLater(r)) {
    // Its result expired or was verified meanwhile, or the replay is refused: kept no more.
    Remove(path);
    Say("a replay kept from an earlier start was not taken: the server answered " +
        std::to_string(r.Status));
  } else if (st.UnsentTries >= MaxUnsentStarts) {
    Remove(path);
    Say("a replay kept from an earlier start was given up after " +
        std::to_string(MaxUnsentStarts) + " starts");
  } else {
    std::ifstream in(path, std::ios::binary);
    std::optional<TUnsentUpload> u =
        ParseUnsent(std::string((std::istreambuf_iterator<char>(in)), {}));
    std::string error;
    if (u) {
      u->Tries = st.UnsentTries;
      if (!WriteUnsent(path, *u, error)) Say(error);
    }
  }
  SendNextUnsent(f, st);
}

}  // namespace

std::string FormatUnsent(const TUnsentUpload& u) {
  return std::string(kMagic) + "token=" + u.Token + "\ntries=" + std::to_string(u.Tries) +
         "\n\n" + u.Replay;
}

std::optional<TUnsentUpload> ParseUnsent(std::string_view bytes) {
  if (bytes.substr(0, kMagic.size()) != kMagic) return std::nullopt;
  bytes.remove_prefix(kMagic.size());
  auto line = [&](std::string_view key) -> std::optional<std::string_view> {
    const size_t end = bytes.find('\n');
    if (end == std::string_view::npos || bytes.substr(0, key.size()) != key) return std::nullopt;
    const std::string_view value = bytes.substr(key.size(), end - key.size());
    bytes.remove_prefix(end + 1);
    return value;
  };
  const auto token = line("token="), tries = line("tries=");
  if (!token || !tries || !IsUploadToken(*token) || bytes.empty() || bytes[0] != '\n')
    return std::nullopt;
  bytes.remove_prefix(1);
  TUnsentUpload u;
  u.Token = *token;
  const auto [end, ec] = std::from_chars(tries->data(), tries->data() + tries->size(), u.Tries);
  if (ec != std::errc() || end != tries->data() + tries->size() || u.Tries < 0 || u.Tries > 1000)
    return std::nullopt;
  // The replay itself must read whole: a file cut short is not sent.
  try {
    replay::ReadReplay(bytes);
  } catch (const replay::EReplayError&) {
    return std::nullopt;
  }
  u.Replay = bytes;
  return u;
}

bool IsUploadToken(std::string_view token) {
  return !token.empty() && token.size() <= 64 &&
         std::all_of(token.begin(), token.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
         });
}

bool ReplayMayBeTakenLater(const platform::HttpResult& r) {
  return !r.Ok && (r.Status == 0 || r.Status >= 500);
}

fs::path UnsentFolder(const TMainForm& f) { return SettingsFilePath(f).parent_path() / "Unsent"; }

void KeepUnsent(TMainForm& f, const std::string& token, const std::string& replayBytes) {
  if (!IsUploadToken(token)) return;  // not a name to give a file
  const fs::path path = UnsentFile(f, token);
  std::error_code ec;
  if (fs::exists(path, ec)) return;
  // A few at most: the oldest, whose results are the likeliest to have expired, go first.
  std::vector<std::pair<fs::file_time_type, fs::path>> kept;
  for (const auto& e : fs::directory_iterator(UnsentFolder(f), ec))
    if (e.path().extension() == kExtension) kept.push_back({e.last_write_time(ec), e.path()});
  std::sort(kept.begin(), kept.end());
  for (size_t i = 0; i + MaxUnsent <= kept.size(); ++i) {
    Remove(kept[i].second);
    Say("a replay kept for sending later was dropped for a newer one: " + kept[i].second.string());
  }
  std::string error;
  if (!WriteUnsent(path, {token, 0, replayBytes}, error))
    Say(error + " (the replay of this game will not be sent later)");
}

void ForgetUnsent(TMainForm& f, const std::string& token) {
  if (IsUploadToken(token)) Remove(UnsentFile(f, token));
}

void RegisterUnsent(TMainForm& form, TOnlineState& st) {
  TMainForm* f = &form;
  TOnlineState* s = &st;
  form.NetReplies[NetUnsent] = [f, s](const platform::HttpResult& r) { OnUnsentReply(*f, *s, r); };
  // What earlier runs kept belongs to no game: its replies are not journaled.
  form.OutsideGames.set(NetUnsent);
}

void SendUnsent(TMainForm& f, TOnlineState& st) {
  if (!st.UnsentLooked) {
    st.UnsentLooked = true;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(UnsentFolder(f), ec))
      if (e.path().extension() == kExtension) st.UnsentQueue.push_back(e.path());
    // In the same order every time.
    std::sort(st.UnsentQueue.begin(), st.UnsentQueue.end());
  }
  SendNextUnsent(f, st);
}

}  // namespace tk::online
