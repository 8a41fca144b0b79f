#include "shell/Replay.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <future>
#include <iterator>
#include <mutex>
#include <optional>
#include <sstream>
#include <system_error>

#include "platform/Files.h"
#include "shell/MainForm.h"

namespace tk {

using replay::TEntry;

namespace {

bool InPlay(uint8_t scene) {
  return scene == ScenePond || scene == SceneFeeding || scene == SceneGameOver;
}

std::array<TTimer*, 4> WindowTimers(TMainForm& f) {
  return {&f.Timer1, &f.Timer2, &f.LevelTimer, &f.sharetimer};
}

// The shared fields a replay starts from, copied either way: both sides use the same names.
template <class To, class From>
void CopyStartFields(To& to, const From& from) {
  to.Level = from.Level;
  to.Score = from.Score;
  to.Lives = from.Lives;
  to.MouseX = from.MouseX;
  to.MouseY = from.MouseY;
  to.FireHeld = from.FireHeld;
  to.AppInactive = from.AppInactive;
  to.Paused = from.Paused;
  to.GameSound = from.GameSound;
  to.GameMusic = from.GameMusic;
  to.GameMainExit = from.GameMainExit;
  to.GameEnterName = from.GameEnterName;
  to.GameSendResult = from.GameSendResult;
  to.GamegoEdit = from.GamegoEdit;
  to.GameClearHighScore = from.GameClearHighScore;
  to.ResizePending = from.ResizePending;
  to.PlayerName = from.PlayerName;
}

}  // namespace

uint8_t InputBits(const TInputState& in) {
  using namespace replay;
  return static_cast<uint8_t>((in.Up ? InUp : 0) | (in.Down ? InDown : 0) |
                              (in.Left ? InLeft : 0) | (in.Right ? InRight : 0) |
                              (in.Fire ? InFire : 0) | (in.AltLeft ? InAltLeft : 0) |
                              (in.AltRight ? InAltRight : 0));
}

TInputState InputFromBits(uint8_t b) {
  using namespace replay;
  TInputState in;
  in.Up = b & InUp;
  in.Down = b & InDown;
  in.Left = b & InLeft;
  in.Right = b & InRight;
  in.Fire = b & InFire;
  in.AltLeft = b & InAltLeft;
  in.AltRight = b & InAltRight;
  return in;
}

namespace {

constexpr const char* DataArchives[] = {"Data\\Graphic.dxg", "Data\\Music.dxw"};

// Which file was hashed: a file replaced or rewritten since has another identity. The
// change time is the system's own, set by every write and never put back by hand as the
// modification time can be.
struct TFileIdentity {
  bool Exists = false;
  uintmax_t Size = 0;
  int64_t Time = 0, Changed = 0;
  uintmax_t Inode = 0, Device = 0;
  bool operator==(const TFileIdentity&) const = default;
};

TFileIdentity IdentityOf(std::string_view name) {
  TFileIdentity id;
  struct stat st {};
  if (::stat(ResolvePath(name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return id;
  id.Exists = true;
  id.Size = static_cast<uintmax_t>(st.st_size);
  id.Time = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  id.Changed = static_cast<int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
  id.Inode = st.st_ino;
  id.Device = st.st_dev;
  return id;
}

// The hash is a chain over the archives in order: each link is remembered with the value
// it started from, and is reused only from that value and for the same file. A link noted
// while the game loads is hashed on a worker thread, so its values are futures.
struct TDataLink {
  bool Known = false;
  TFileIdentity File;
  std::shared_future<uint64_t> From, To;
};
std::mutex gDataMutex;
std::array<TDataLink, std::size(DataArchives)> gDataLinks;
std::filesystem::path gCacheFile;  // empty: no hash is kept between runs

uint64_t Link(uint64_t h, std::string_view bytes) {
  const std::string size = std::to_string(bytes.size()) + ":";
  return replay::Fnv1a(bytes, replay::Fnv1a(size, h));
}

std::shared_future<uint64_t> Known(uint64_t v) {
  std::promise<uint64_t> p;
  p.set_value(v);
  return p.get_future().share();
}

bool IsReady(const std::shared_future<uint64_t>& f) {
  return f.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

// ---- The hashes kept between runs (the replay check, one process per upload)

// One line per archive link: its index, the file's identity and the link's two values.
struct TCachedLink {
  TFileIdentity File;
  uint64_t From = 0, To = 0;
};
using TCache = std::array<std::optional<TCachedLink>, std::size(DataArchives)>;
constexpr const char* kCacheHeader = "tinokvak game data hash 1";

// What the file holds; anything it does not say plainly is left out.
TCache ReadCache(const std::filesystem::path& file) {
  TCache cache;
  std::ifstream in(file);
  std::string line;
  if (!in || !std::getline(in, line) || line != kCacheHeader) return cache;
  while (std::getline(in, line)) {
    std::istringstream ls(line);
    size_t i = 0;
    TCachedLink l;
    l.File.Exists = true;
    std::string end;
    if (!(ls >> i >> l.File.Device >> l.File.Inode >> l.File.Size >> l.File.Time >>
          l.File.Changed >> std::hex >> l.From >> l.To) ||
        (ls >> end) || i >= cache.size())
      return {};
    cache[i] = l;
  }
  return cache;
}

// Written whole under another name, then renamed over the old one: a check running at the
// same time reads either file whole. A cache that cannot be written is no error.
void WriteCache(const std::filesystem::path& file, const TCache& cache) {
  std::error_code ec;
  std::filesystem::create_directories(file.parent_path(), ec);
  std::string part = file.string() + ".XXXXXX";
  const int fd = ::mkstemp(part.data());
  if (fd < 0) return;
  std::ostringstream out;
  out << kCacheHeader << "\n";
  for (size_t i = 0; i < cache.size(); ++i) {
    if (!cache[i]) continue;
    const TCachedLink& l = *cache[i];
    out << i << ' ' << l.File.Device << ' ' << l.File.Inode << ' ' << l.File.Size << ' '
        << l.File.Time << ' ' << l.File.Changed << ' ' << std::hex << l.From << ' ' << l.To
        << std::dec << "\n";
  }
  const std::string text = out.str();
  bool ok = true;
  for (size_t done = 0; ok && done < text.size();) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n > 0) done += static_cast<size_t>(n);
    else ok = n < 0 && errno == EINTR;
  }
  ok = ::close(fd) == 0 && ok;
  if (!ok || ::rename(part.c_str(), file.c_str()) != 0) ::unlink(part.c_str());
}

// The cached link for archive i when it is of this very file; its value holds only from
// the value it was hashed from.
std::optional<TCachedLink> CachedLink(const TCache& cache, size_t i, const TFileIdentity& id) {
  if (!id.Exists || !cache[i] || !(cache[i]->File == id)) return std::nullopt;
  return cache[i];
}

}  // namespace

void UseGameDataHashCache(std::filesystem::path file) {
  std::lock_guard lock(gDataMutex);
  gCacheFile = std::move(file);
}

std::filesystem::path DefaultGameDataHashCache() {
  // The cache folder the desktop's conventions name, which only an absolute path may give.
  std::filesystem::path base;
  if (const char* x = std::getenv("XDG_CACHE_HOME"); x && x[0] == '/') base = x;
  else if (const char* h = std::getenv("HOME"); h && h[0] == '/') base = std::filesystem::path(h) / ".cache";
  else return {};
  return base / "tinokvak" / "game-data-hash";
}

void NoteGameData(std::string_view name, std::string_view bytes) {
  for (size_t i = 0; i < std::size(DataArchives); ++i) {
    if (name != DataArchives[i]) continue;
    const TFileIdentity id = IdentityOf(name);
    std::lock_guard lock(gDataMutex);
    // The first link starts from the empty hash; a later one from the link before it,
    // when that one is known.
    std::shared_future<uint64_t> from = Known(replay::Fnv1a(""));
    if (i > 0) {
      if (!gDataLinks[i - 1].Known) return;
      from = gDataLinks[i - 1].To;
    }
    if (!id.Exists || id.Size != bytes.size()) return;
    gDataLinks[i] = {true, id, from, Known(Link(from.get(), bytes))};
  }
}

void NoteGameData(std::string_view name, std::shared_ptr<const TFileBytes> bytes) {
  for (size_t i = 0; i < std::size(DataArchives); ++i) {
    if (name != DataArchives[i]) continue;
    const TFileIdentity id = IdentityOf(name);
    if (!id.Exists || !bytes || id.Size != bytes->Size()) return;
    std::filesystem::path cacheFile;
    {
      std::lock_guard lock(gDataMutex);
      cacheFile = gCacheFile;
    }
    std::optional<TCachedLink> cached;
    if (!cacheFile.empty()) cached = CachedLink(ReadCache(cacheFile), i, id);
    std::lock_guard lock(gDataMutex);
    std::shared_future<uint64_t> from = Known(replay::Fnv1a(""));
    if (i > 0) {
      if (!gDataLinks[i - 1].Known) return;
      from = gDataLinks[i - 1].To;
    }
    // Kept from an earlier run for this very file: nothing to hash.
    if (cached && IsReady(from) && from.get() == cached->From) {
      gDataLinks[i] = {true, id, from, Known(cached->To)};
      return;
    }
    auto hash = [from, bytes = std::move(bytes)]() mutable {
      const uint64_t h = Link(from.get(), bytes->View());
      bytes.reset();  // the archive's bytes go as soon as their pictures are decoded
      return h;
    };
#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
    gDataLinks[i] = {true, id, from, Known(hash())};
#else
    // The bytes are only read, here and by the decoders: the worker shares them safely.
    std::shared_future<uint64_t> to;
    try {
      to = std::async(std::launch::async, std::move(hash)).share();
    } catch (const std::system_error&) {
      to = Known(hash());  // no thread to be had: hashed now, as before
    }
    gDataLinks[i] = {true, id, from, to};
#endif
  }
}

uint64_t GameDataHash() {
  uint64_t h = replay::Fnv1a("");
  TCache cache;
  std::filesystem::path cacheFile;
  {
    std::lock_guard lock(gDataMutex);
    cacheFile = gCacheFile;
  }
  if (!cacheFile.empty()) cache = ReadCache(cacheFile);
  const TCache before = cache;
  for (size_t i = 0; i < std::size(DataArchives); ++i) {
    const TFileIdentity id = IdentityOf(DataArchives[i]);
    TDataLink l;
    {
      std::lock_guard lock(gDataMutex);
      l = gDataLinks[i];
    }
    // Waited for outside the lock: a worker may still be hashing.
    if (l.Known && id.Exists && l.File == id && l.From.get() == h) {
      h = l.To.get();
      if (!cacheFile.empty()) cache[i] = TCachedLink{id, l.From.get(), h};
      continue;
    }
    if (const auto c = CachedLink(cache, i, id); c && c->From == h) {
      std::lock_guard lock(gDataMutex);
      gDataLinks[i] = {true, id, Known(h), Known(c->To)};
      h = c->To;
      continue;
    }
    std::shared_ptr<const TFileBytes> bytes;
    try {
      bytes = ReadFileBytes(DataArchives[i]);
    } catch (const std::exception&) {
      // A missing archive hashes as empty: the game could not have started without it.
    }
    const uint64_t from = h;
    h = Link(h, bytes ? bytes->View() : std::string_view());
    if (id.Exists && bytes && id.Size == bytes->Size()) {
      std::lock_guard lock(gDataMutex);
      gDataLinks[i] = {true, id, Known(from), Known(h)};
      if (!cacheFile.empty()) cache[i] = TCachedLink{id, from, h};
    }
  }
  if (!cacheFile.empty()) {
    bool same = true;
    for (size_t i = 0; i < cache.size(); ++i)
      same = same && cache[i].has_value() == before[i].has_value() &&
             (!cache[i] || (cache[i]->File == before[i]->File &&
                            cache[i]->From == before[i]->From && cache[i]->To == before[i]->To));
    if (!same) WriteCache(cacheFile, cache);
  }
  return h;
}

replay::TReplay ReadReplayFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw replay::EReplayError(replay::EReplayError::NotReplay, "cannot read the file");
  std::stringstream ss;
  ss << in.rdbuf();
  return replay::ReadReplay(ss.str());
}

void CheckReplayData(const replay::TReplay& r) {
  if (r.DataHash != GameDataHash())
    throw replay::EReplayError(replay::EReplayError::OtherVersion,
                               "recorded with other game data (Data/Graphic.dxg, "
                               "Data/Music.dxw); it cannot replay on this data");
}

std::string WhyNotAWholeGame(const replay::TReplay& r) {
  const replay::TReplayStart& s = r.Start;
  if (s.Scene != SceneMainMenu) return "it does not start on the main menu";
  const TGameState fresh;
  if (s.Level != fresh.Level || s.Score != fresh.Score || s.Lives != fresh.Lives)
    return "it starts with a game's level, score or lives already set";
  // The pond's cooldowns start at 0, as a blank start state's do.
  const replay::TReplayStart blank;
  if (s.FireHeld != fresh.FireHeld || s.TurnLeftCooldown != blank.TurnLeftCooldown ||
      s.TurnRightCooldown != blank.TurnRightCooldown ||
      s.TurnUpCooldown != blank.TurnUpCooldown || s.JumpCooldown != blank.JumpCooldown)
    return "it starts with the frog's controls in use";
  // Name entry, its send box and typing are cleared whenever the game-over screen is left,
  // the prompts close before a game can start, and no game starts paused.
  if (s.GameEnterName || s.GameSendResult || s.GamegoEdit || s.GameClearHighScore ||
      s.GameMainExit || s.Paused)
    return "it starts with a name entry, a prompt or a pause open";
  // The texts are typed ten characters at most.
  for (const std::string* t : {&s.Edit1, &s.Edit2, &s.PlayerCountry, &s.PlayerName})
    if (t->size() > 10) return "it starts with a name or country longer than ten characters";
  if (r.Entries.empty()) return "its journal is empty";
  for (const TEntry& e : r.Entries)
    if (e.Type == TEntry::Switch) return "its journal switches scenes on its own";
  return {};
}

replay::TReplay ReadReplayForThisGame(const std::string& path) {
  replay::TReplay r = ReadReplayFile(path);
  CheckReplayData(r);
  return r;
}

// ---- Recorder

void TReplayRecorder::Start() {
  if (active_) return;
  active_ = true;
  rec_ = {};
  rec_.GameVersion = replay::GameVersion();
  if (!dataHash_) dataHash_ = GameDataHash();
  rec_.DataHash = *dataHash_;
  // The game draws from one seed from here on, so the file holds all its randomness.
  rec_.Seed = f_.DrawSeed();
  f_.Reseed(rec_.Seed);
  // Started by an event being handled: the journal begins with it, so the replay handles
  // it as the game did. Otherwise time starts now.
  rec_.StartClock = depth_ > 0 ? current_.Time : f_.Plat.Clock->NowMs();
  replay::TReplayStart& s = rec_.Start;
  s.Scene = f_.CurrentScene;
  CopyStartFields(s, static_cast<const TGameState&>(f_));
  if (s.Scene == SceneMainMenu) {
    // Leaving the menu for the pond sets a new game's level, score and lives, and the pond
    // its frog's fire button (and its cooldowns: the pond's own part), before anything reads
    // them: what an earlier game left there is no part of this one, and the replay starts
    // from a fresh window's values.
    const TGameState fresh;
    s.Level = fresh.Level;
    s.Score = fresh.Score;
    s.Lives = fresh.Lives;
    s.FireHeld = fresh.FireHeld;
  }
  s.GameFullScreen = f_.GameFullScreen;  // kept for the record; a viewer keeps its own mode
  for (auto& save : f_.Hooks.SaveReplayStart) save(s);
  s.Input = InputBits(f_.DXInput);
  s.HighScores = f_.HighScores;
  auto timers = WindowTimers(f_);
  for (size_t i = 0; i < timers.size(); ++i) {
    s.TimerEnabled[i] = timers[i]->Enabled();
    s.TimerInterval[i] = timers[i]->Interval();
  }
  if (depth_ > 0) Journal(current_);
}

void TReplayRecorder::Journal(TEntry e) {
  e.Time = e.Time >= rec_.StartClock ? e.Time - rec_.StartClock : 0;
  rec_.Entries.push_back(e);
}

void TReplayRecorder::Begin(const TEntry& e, std::optional<uint64_t> at) {
  ++depth_;
  current_ = e;
  current_.Time = at ? *at : f_.Plat.Clock->NowMs();
  if (active_) Journal(current_);
}

void TReplayRecorder::Mark() {
  if (!active_) return;
  TEntry e;
  e.Type = TEntry::Mark;
  e.Time = f_.Plat.Clock->NowMs();
  Journal(e);
}

void TReplayRecorder::SceneSwitch(uint8_t from, uint8_t to) {
  if (!active_ && Enabled && from == SceneMainMenu && to == ScenePond) Start();
  if (!active_) return;
  if (depth_ == 0) {
    TEntry e;
    e.Type = TEntry::Switch;
    e.Scene = to;
    e.Time = f_.Plat.Clock->NowMs();
    Journal(e);
  }
  // The game is over (its name entry done) or the player left it.
  if (InPlay(from) && !InPlay(to)) Complete(from == SceneGameOver && to == SceneHighScores);
}

void TReplayRecorder::Finish() {
  if (active_) Complete(false);
}

void TReplayRecorder::Complete(bool enteredTable) {
  active_ = false;
  rec_.Trailer.Score = f_.Score;
  rec_.Trailer.Level = f_.Level;
  rec_.Trailer.Lives = f_.Lives;
  rec_.Trailer.EnteredTable = enteredTable;
  rec_.Trailer.PlayerName = f_.PlayerName;
  replay::TReplay done = std::move(rec_);
  rec_ = {};
  if (OnFinished) OnFinished(std::move(done));
}

// ---- Player

void TReplayPlayer::Setup() {
  if (WholeGame) refusal_ = WhyNotAWholeGame(r_);
  f_.Replaying = true;  // the network's part comes from the journal: nothing is sent
  const replay::TReplayStart& s = r_.Start;
  if (f_.CurrentScene != s.Scene) f_.SwitchScene(s.Scene);
  CopyStartFields(static_cast<TGameState&>(f_), s);
  for (auto& restore : f_.Hooks.RestoreReplayStart) restore(s);
  f_.DXInput = InputFromBits(s.Input);
  f_.HighScores = s.HighScores;
  auto timers = WindowTimers(f_);
  for (size_t i = 0; i < timers.size(); ++i) {
    timers[i]->SetInterval(s.TimerInterval[i]);
    timers[i]->SetEnabled(s.TimerEnabled[i]);
    // A timer running at the start fired last at most one period before it: it is due by
    // the start plus its period, exactly when is not in the file.
    TTimerWatch& w = watch_[i];
    w.Known = !timers[i]->Enabled();
    w.Due = r_.StartClock + timers[i]->Interval();
    w.Enabled = timers[i]->Enabled();
    w.Held = timers[i]->Held();
    w.Interval = timers[i]->Interval();
    w.TimerDue = timers[i]->DueAt();
  }
  f_.Reseed(r_.Seed);
}

void TReplayPlayer::Step() {
  if (Done()) return;
  const bool first = next_ == 0;
  const uint8_t before = f_.CurrentScene;
  const TEntry& e = r_.Entries[next_++];
  const uint64_t now = r_.StartClock + e.Time;
  if (CheckTimers) {
    CheckTimerEntry(e, now);
    if (!refusal_.empty()) return;
  }
  Handle(e);
  if (CheckTimers) FollowTimers(e, now);
  if (!WholeGame || !refusal_.empty()) return;
  const uint8_t after = f_.CurrentScene;
  const bool last = next_ == r_.Entries.size();
  if (f_.Closed()) {
    refusal_ = "the window closed during the game";
  } else if (first && (before != SceneMainMenu || after != ScenePond)) {
    refusal_ = "its first entry does not start a game from the main menu";
  } else if (!last && !InPlay(after)) {
    refusal_ = "the game ends before its journal does";
  } else if (last && !InPlay(after) && after != SceneHighScores) {
    refusal_ = "the game was left without a result entered at its name entry";
  } else if (last && (before != SceneGameOver || after != SceneHighScores)) {
    refusal_ = "its journal ends before the game does (game over and its name entry)";
  } else if (last) {
    ended_ = true;
  }
}

namespace {

constexpr const char* kTimerNames[] = {"Timer1", "Timer2", "LevelTimer", "ShareTimer"};

std::string Ms(uint64_t at, uint64_t start) { return std::to_string(at - std::min(at, start)) + " ms"; }

}  // namespace

// The game fires a timer from its idle step, at the first pass whose clock has reached its
// due time, before that pass's frame tick; the firing is journaled at the clock its poll
// saw and sets the next due time a period later. So a firing must find its timer running
// and due, and a tick must not find a timer that was due by the previous tick unfired:
// the pass that journaled this tick polled it after that.
void TReplayPlayer::CheckTimerEntry(const TEntry& e, uint64_t now) {
  auto timers = WindowTimers(f_);
  if (e.Type == TEntry::Timer) {
    if (e.TimerIndex >= timers.size()) {
      refusal_ = "it fires a timer the game does not have";
      return;
    }
    const TTimer& t = *timers[e.TimerIndex];
    const TTimerWatch& w = watch_[e.TimerIndex];
    const std::string name = kTimerNames[e.TimerIndex];
    if (!t.Running() || t.Interval() == 0)
      refusal_ = name + " fires at " + Ms(now, r_.StartClock) + " while it is stopped";
    else if (w.Known && w.Due > now)
      refusal_ = name + " fires at " + Ms(now, r_.StartClock) + ", " + std::to_string(w.Due - now) +
                 " ms before it is due";
    return;
  }
  if (e.Type != TEntry::Tick) return;
  for (size_t i = 0; i < timers.size() && lastTick_; ++i) {
    const TTimer& t = *timers[i];
    if (t.Running() && t.Interval() > 0 && watch_[i].Due <= *lastTick_) {
      refusal_ = std::string(kTimerNames[i]) + "'s firing due at " + Ms(watch_[i].Due, r_.StartClock) +
                 " is missing";
      return;
    }
  }
  lastTick_ = now;
}

// How the entry left each timer: fired (due a period on), restarted by the game (due as
// it says), held, or let go (due after what was left of its period: exact when the phase
// is, else within a period).
void TReplayPlayer::FollowTimers(const TEntry& e, uint64_t now) {
  auto timers = WindowTimers(f_);
  for (size_t i = 0; i < timers.size(); ++i) {
    const TTimer& t = *timers[i];
    TTimerWatch& w = watch_[i];
    const bool fired = e.Type == TEntry::Timer && e.TimerIndex == i;
    const bool changed = fired || t.Enabled() != w.Enabled || t.Held() != w.Held ||
                         t.Interval() != w.Interval || t.DueAt() != w.TimerDue;
    if (changed && !t.Held()) {
      if (fired || !w.Held) {
        w.Known = true;
        w.Due = t.DueAt();
      } else {
        w.Due = w.Known ? t.DueAt() : now + t.Interval();
      }
    }
    w.Enabled = t.Enabled();
    w.Held = t.Held();
    w.Interval = t.Interval();
    w.TimerDue = t.DueAt();
  }
}

void TReplayPlayer::Handle(const TEntry& e) {
  const platform::KeyMods mods{(e.Mods & 1) != 0, (e.Mods & 2) != 0, (e.Mods & 4) != 0};
  const auto button = static_cast<platform::MouseButton>(e.Button);
  switch (e.Type) {
    case TEntry::Tick:
      f_.ReplayTick(InputFromBits(e.Input), (e.Input & replay::InMaximized) != 0);
      break;
    case TEntry::KeyDown: f_.OnKeyDown(e.Key, mods); break;
    case TEntry::KeyUp: f_.OnKeyUp(e.Key, mods); break;
    case TEntry::Char: f_.OnChar(e.Ch); break;
    case TEntry::MouseMove: f_.OnMouseMove(e.X, e.Y); break;
    case TEntry::MouseDown: f_.OnMouseDown(button, e.X, e.Y); break;
    case TEntry::MouseUp: f_.OnMouseUp(button, e.X, e.Y); break;
    case TEntry::Activate: f_.OnActivate(e.Active); break;
    case TEntry::Close: f_.OnCloseRequest(); break;
    case TEntry::Resize: f_.OnResize(); break;
    case TEntry::Timer: f_.FireTimer(e.TimerIndex); break;
    case TEntry::Switch: f_.SwitchScene(e.Scene); break;
    case TEntry::Net:
      f_.DeliverNetReply(e.Purpose, {e.Reply.Ok, e.Reply.Status, e.Reply.Body, e.Reply.Error});
      break;
    case TEntry::Mark:
      if (OnMark) OnMark();
      break;
    case TEntry::End: break;
  }
}

}  // namespace tk
