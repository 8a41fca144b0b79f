// The module player of the browser's build, which has no libxmp: every module the game
// ships was played by the desktop's player at build time (tinokvak-tunes), and its tune is
// found here by the module's digest and length in the prepared music, music.tkm in the
// folder TK_WEB_DATA names, else in the one the build put it in. The tune plays through our
// mixer, round after round as the desktop's player goes round its order list, and the order
// reported after each block is the one libxmp reports after the same number of frames.
//
// The prepared music may come after the game has started (a page loads it after its first
// frame): until it is there a playing module is silent at order 0, and its tune begins
// when it arrives. Whether a module loads is decided from its bytes alone, as the desktop's
// player decides, never from whether its tune has arrived, so a game runs the same either
// way.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>

#include "media/ModuleLoad.h"
#include "media/PreparedMusic.h"
#include "media/Sound.h"
#include "media/VorbisStream.h"
#include "platform/Files.h"

namespace tk {

namespace {

uint32_t U16(std::string_view b, size_t at) {
  return static_cast<uint8_t>(b[at]) | static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 8;
}
uint32_t U32(std::string_view b, size_t at) { return U16(b, at) | U16(b, at + 2) << 16; }

// What the desktop's player makes of an XM module's layout: the song header and every
// pattern must be whole, and every instrument's header with its sample headers once more
// than its first 32 bytes are there; sample data cut short still loads.
std::optional<std::pair<TModuleProblem, int>> XmProblem(std::string_view b) {
  if (b.empty()) return std::make_pair(TModuleProblem::Other, 7);
  if (b.size() < 17 || b.substr(0, 17) != "Extended Module: ") return std::make_pair(TModuleProblem::NotAModule, 0);
  const auto damaged = std::make_pair(TModuleProblem::Damaged, 0);
  auto has = [&b](uint64_t at, uint64_t n) { return at + n <= b.size(); };
  if (!has(60, 4)) return damaged;
  const uint64_t headerSize = U32(b, 60);
  if (headerSize < 20 || !has(60, headerSize)) return damaged;
  const uint32_t patterns = U16(b, 70), instruments = U16(b, 72);
  uint64_t at = 60 + headerSize;
  for (uint32_t p = 0; p < patterns; ++p) {
    if (!has(at, 9)) return damaged;
    const uint64_t len = U32(b, at);
    if (len < 9 || !has(at, len)) return damaged;
    const uint64_t packed = U16(b, at + 7);
    if (!has(at + len, packed)) return damaged;
    at += len + packed;
  }
  for (uint32_t i = 0; i < instruments; ++i) {
    if (!has(at, 33)) return std::nullopt;
    const uint64_t size = U32(b, at);
    const uint32_t samples = U16(b, at + 27);
    if (size < 29 || !has(at, size)) return damaged;
    const uint64_t sampleHeader = samples ? U32(b, at + 29) : 0;
    at += size;
    uint64_t data = 0;
    for (uint32_t s = 0; s < samples; ++s) {
      if (sampleHeader < 4 || !has(at, sampleHeader)) return damaged;
      data += U32(b, at);
      at += sampleHeader;
    }
    if (!has(at, data)) return std::nullopt;
    at += data;
  }
  return std::nullopt;
}

std::string TunesPath() {
  const char* dir = std::getenv("TK_WEB_DATA");
  return std::string(dir && *dir ? dir : TK_WEB_DATA_DIR) + "/music.tkm";
}

struct Song {
  std::string name;
  uint64_t key = 0;
  uint32_t size = 0;
  const TPreparedTune* tune = nullptr;  // once the tunes are there and it is among them
  std::unique_ptr<TVorbisStream> stream;
  uint64_t played = 0;  // frames of the tune taken so far
  int order = 0;
  // Between the tune's rate and another device rate: the two frames the output lies
  // between, its place past the first (32.32), and frames taken but not yet used.
  bool primed = false;
  int16_t prev[2] = {0, 0}, cur[2] = {0, 0};
  uint64_t phase = 0;
  std::vector<int16_t> ahead;
  size_t aheadAt = 0;
};

}  // namespace

struct TMusicPlayer::Impl {
  explicit Impl(TMixer& m) : mixer(m), path(TunesPath()) {}
  TMixer& mixer;
  std::map<uintptr_t, std::unique_ptr<Song>> songs;
  Song* playing = nullptr;
  const std::string path;
  enum class Tunes { Waiting, Here, Unusable } state = Tunes::Waiting;
  std::vector<TPreparedTune> tunes;
  std::set<std::string> told;  // one line about each problem is enough

  void Tell(const std::string& line) {
    if (told.insert(line).second) std::fprintf(stderr, "%s\n", line.c_str());
  }

  Song* Get(uintptr_t h) {
    auto it = songs.find(h);
    return it == songs.end() ? nullptr : it->second.get();
  }

  // On the game thread: takes the prepared music once it is there.
  void Look() {
    if (state != Tunes::Waiting) return;
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return;
    std::vector<TPreparedTune> got;
    try {
      got = ParsePreparedMusic(ReadWholeFile(path));
    } catch (const std::exception& e) {
      std::lock_guard lock(mixer.Lock());
      state = Tunes::Unusable;
      Tell(path + ": " + e.what() + "; the music stays silent");
      return;
    }
    std::lock_guard lock(mixer.Lock());
    tunes = std::move(got);
    state = Tunes::Here;
    if (playing) Begin(*playing);
  }

  // Under the lock: the song's tune from its first frame, when the tunes are here.
  void Begin(Song& s) {
    s.tune = nullptr;
    s.stream.reset();
    s.played = 0;
    s.order = 0;
    s.primed = false;
    s.ahead.clear();
    s.aheadAt = 0;
    if (state != Tunes::Here) return;
    for (const TPreparedTune& t : tunes)
      if (t.Key == s.key && t.ModuleSize == s.size) s.tune = &t;
    if (!s.tune) {
      Tell(s.name + ": not among the tunes prepared for this build; it plays silently");
      return;
    }
    try {
      s.stream = std::make_unique<TVorbisStream>(s.tune->Vorbis);
      if (s.stream->Rate() != static_cast<int>(s.tune->Rate) || s.stream->Length() != s.tune->Length)
        throw std::runtime_error("its sound does not fit its positions");
    } catch (const std::exception& e) {
      Tell(path + ": " + s.tune->Name + ": " + e.what() + "; it plays silently");
      s.tune = nullptr;
      s.stream.reset();
    }
  }

  // The tune's next n frames, round after round; false (and silence) when its stream is
  // damaged.
  bool Take(Song& s, int16_t* out, int n) {
    const TPreparedTune& t = *s.tune;
    const uint64_t round = t.Length - t.LoopTo;
    while (n > 0) {
      bool inSeam = false;
      uint32_t seamAt = 0;
      const uint32_t q = t.InFirstRound(s.played, &inSeam, &seamAt);
      // A later round: the stream goes on after the seam.
      if (s.played >= t.Length && (s.played - t.Length) % round == 0 && t.SeamFrames() < round &&
          !s.stream->Seek(t.LoopTo + t.SeamFrames()))
        return false;
      int chunk;
      if (inSeam) {
        chunk = static_cast<int>(std::min<uint64_t>(n, t.SeamFrames() - seamAt));
        std::copy_n(t.Seam.begin() + 2 * seamAt, 2 * chunk, out);
      } else {
        chunk = static_cast<int>(std::min<uint64_t>(n, t.Length - q));
        if (s.stream->Read(out, chunk) != chunk) return false;
      }
      s.played += static_cast<uint64_t>(chunk);
      out += 2 * chunk;
      n -= chunk;
    }
    return true;
  }

  // Called from Mix with the lock held; the buffer arrives cleared.
  void Render(int16_t* out, int frameCount) {
    Song* s = playing;
    if (!s || !s->tune) return;
    const uint32_t rate = static_cast<uint32_t>(mixer.DeviceRate());
    bool ok = true;
    if (rate == s->tune->Rate && s->ahead.size() == s->aheadAt) {
      ok = Take(*s, out, frameCount);
    } else {
      // Another device rate: the tune's frames at the same pace, drawn between.
      const uint64_t step = (static_cast<uint64_t>(s->tune->Rate) << 32) / rate;
      auto next = [&](int16_t* f) {
        if (s->aheadAt == s->ahead.size()) {
          s->ahead.resize(2 * 256);
          s->aheadAt = 0;
          if (!Take(*s, s->ahead.data(), 256)) return false;
        }
        f[0] = s->ahead[s->aheadAt];
        f[1] = s->ahead[s->aheadAt + 1];
        s->aheadAt += 2;
        return true;
      };
      if (!s->primed) {
        ok = next(s->cur);
        s->prev[0] = s->cur[0];
        s->prev[1] = s->cur[1];
        s->phase = 0;
        s->primed = true;
      }
      for (int i = 0; ok && i < frameCount; ++i) {
        while (ok && s->phase >= (1ull << 32)) {
          s->prev[0] = s->cur[0];
          s->prev[1] = s->cur[1];
          ok = next(s->cur);
          s->phase -= 1ull << 32;
        }
        const int64_t frac = static_cast<int64_t>(s->phase >> 16);
        for (int c = 0; c < 2; ++c)
          out[2 * i + c] = static_cast<int16_t>(s->prev[c] + (((s->cur[c] - s->prev[c]) * frac) >> 16));
        s->phase += step;
      }
    }
    if (!ok) {
      std::fill_n(out, 2 * static_cast<size_t>(frameCount), 0);
      Tell(path + ": " + s->tune->Name + ": its sound is damaged; it stops");
      s->tune = nullptr;
      s->stream.reset();
      return;
    }
    // The frames used so far: those taken but still ahead are not heard yet.
    s->order = s->tune->MarkAfter(s->played - (s->ahead.size() - s->aheadAt) / 2).Order;
  }
};

TMusicPlayer::TMusicPlayer(TMixer& mixer) : impl_(std::make_unique<Impl>(mixer)) {
  mixer.SetMusic([impl = impl_.get()](int16_t* out, int n) { impl->Render(out, n); });
  impl_->Look();
}

TMusicPlayer::~TMusicPlayer() {
  impl_->mixer.SetMusic(nullptr);
  std::lock_guard lock(impl_->mixer.Lock());
  impl_->playing = nullptr;
  impl_->songs.clear();
}

uintptr_t TMusicPlayer::SongLoadFromMemory(std::string_view bytes, const std::string& name) {
  newLoadError_.clear();
  if (const auto problem = XmProblem(bytes)) {
    LoadFailed(name, ModuleLoadMessage(name, problem->first, problem->second));
    return 0;
  }
  auto song = std::make_unique<Song>();
  song->name = name;
  song->key = MusicModuleKey(bytes);
  song->size = static_cast<uint32_t>(bytes.size());
  std::lock_guard lock(impl_->mixer.Lock());
  uintptr_t h = 1;  // the smallest free handle, as the desktop's player gives
  while (impl_->songs.count(h)) ++h;
  impl_->songs.emplace(h, std::move(song));
  return h;
}

void TMusicPlayer::SongPlay(uintptr_t h) {
  impl_->Look();
  std::lock_guard lock(impl_->mixer.Lock());
  Song* s = impl_->Get(h);
  if (!s) return;
  impl_->Begin(*s);
  impl_->playing = s;
}

int TMusicPlayer::SongGetOrder(uintptr_t h) {
  impl_->Look();
  std::lock_guard lock(impl_->mixer.Lock());
  Song* s = impl_->Get(h);
  return s ? s->order : 0;
}

void TMusicPlayer::SongFree(uintptr_t h) {
  std::lock_guard lock(impl_->mixer.Lock());
  auto it = impl_->songs.find(h);
  if (it == impl_->songs.end()) return;
  if (impl_->playing == it->second.get()) impl_->playing = nullptr;
  impl_->songs.erase(it);
}

}  // namespace tk
