// The module player: libxmp contexts behind small integer handles. Each context is only
// touched with the mixer's lock held (the music source runs inside Mix, which holds it);
// the order position is published by the audio thread for SongGetOrder to read.
#include <algorithm>
#include <atomic>
#include <map>
#include <vector>

#include "media/ModuleLoad.h"
#include "media/Sound.h"
#include "media/XmpPlayer.h"

namespace tk {

namespace {

struct Song {
  xmp_context ctx = nullptr;
  int rate = 0;  // the device rate the player was started for, 0 before SongPlay
  int repeat = 1;  // each rendered frame is sent this many times (see RenderRate)
  int held = 0;    // frames still owed of the last rendered frame
  int16_t last[2] = {0, 0};
  std::atomic<int> order{0};
};

// libxmp renders at up to XMP_MAX_SRATE. A faster device gets the module at an integer
// fraction of its rate with each frame repeated, so tempo and pitch stay right.
int RepeatFor(int rate) { return rate <= XMP_MAX_SRATE ? 1 : (rate + XMP_MAX_SRATE - 1) / XMP_MAX_SRATE; }

bool Start(Song& s, int rate) {
  const int repeat = RepeatFor(rate);
  if (StartXmpPlayer(s.ctx, std::max(rate / repeat, XMP_MIN_SRATE)) != 0) return false;
  s.rate = rate;
  s.repeat = repeat;
  s.held = 0;
  return true;
}

}  // namespace

struct TMusicPlayer::Impl {
  explicit Impl(TMixer& m) : mixer(m) {}
  TMixer& mixer;
  // Changed only on the game thread, under the lock; the audio thread reads `playing`.
  std::map<uintptr_t, std::unique_ptr<Song>> songs;
  Song* playing = nullptr;
  std::vector<int16_t> scratch;  // grows only; used by the audio thread

  Song* Get(uintptr_t h) {
    auto it = songs.find(h);
    return it == songs.end() ? nullptr : it->second.get();
  }

  // Called from Mix with the lock held; the buffer arrives cleared.
  void Render(int16_t* out, int frameCount) {
    Song* s = playing;
    if (!s) return;
    const int rate = mixer.DeviceRate();
    if (rate != s->rate) {
      // The device came up at another rate: carry on from the same order at the new one.
      xmp_frame_info fi;
      xmp_get_frame_info(s->ctx, &fi);
      if (!Start(*s, rate)) {
        playing = nullptr;
        return;
      }
      xmp_set_position(s->ctx, fi.pos);
    }
    if (s->repeat == 1) {
      // Loop count 0: the player goes round the order list for ever by itself.
      if (xmp_play_buffer(s->ctx, out, frameCount * 4, 0) != 0) {
        std::fill_n(out, 2 * static_cast<size_t>(frameCount), 0);
        return;
      }
    } else {
      const int fresh = frameCount > s->held ? (frameCount - s->held + s->repeat - 1) / s->repeat : 0;
      if (scratch.size() < 2 * static_cast<size_t>(fresh)) scratch.resize(2 * static_cast<size_t>(fresh));
      if (fresh && xmp_play_buffer(s->ctx, scratch.data(), fresh * 4, 0) != 0) {
        std::fill_n(out, 2 * static_cast<size_t>(frameCount), 0);
        return;
      }
      const int16_t* src = scratch.data();
      for (int i = 0; i < frameCount; ++i) {
        if (s->held == 0) {
          s->last[0] = *src++;
          s->last[1] = *src++;
          s->held = s->repeat;
        }
        out[2 * i] = s->last[0];
        out[2 * i + 1] = s->last[1];
        --s->held;
      }
    }
    xmp_frame_info fi;
    xmp_get_frame_info(s->ctx, &fi);
    s->order.store(fi.pos, std::memory_order_relaxed);
  }

  static void Free(Song& s) {
    if (s.rate) xmp_end_player(s.ctx);
    xmp_release_module(s.ctx);
    xmp_free_context(s.ctx);
  }
};

TMusicPlayer::TMusicPlayer(TMixer& mixer) : impl_(std::make_unique<Impl>(mixer)) {
  mixer.SetMusic([impl = impl_.get()](int16_t* out, int n) { impl->Render(out, n); });
}

TMusicPlayer::~TMusicPlayer() {
  impl_->mixer.SetMusic(nullptr);
  std::lock_guard lock(impl_->mixer.Lock());
  impl_->playing = nullptr;
  for (auto& [h, s] : impl_->songs) Impl::Free(*s);
  impl_->songs.clear();
}

uintptr_t TMusicPlayer::SongLoadFromMemory(std::string_view bytes, const std::string& name) {
  newLoadError_.clear();
  std::lock_guard lock(impl_->mixer.Lock());
  auto song = std::make_unique<Song>();
  song->ctx = xmp_create_context();
  if (!song->ctx) return 0;
  const int rc =
      xmp_load_module_from_memory(song->ctx, bytes.data(), static_cast<long>(bytes.size()));
  if (rc != 0) {
    xmp_free_context(song->ctx);
    LoadFailed(name, ModuleLoadMessage(name, rc == -XMP_ERROR_FORMAT ? TModuleProblem::NotAModule
                                             : rc == -XMP_ERROR_LOAD ? TModuleProblem::Damaged
                                                                     : TModuleProblem::Other,
                                       -rc));
    return 0;
  }
  uintptr_t h = 1;  // the smallest free handle keeps them small
  while (impl_->songs.count(h)) ++h;
  impl_->songs.emplace(h, std::move(song));
  return h;
}

void TMusicPlayer::SongPlay(uintptr_t h) {
  std::lock_guard lock(impl_->mixer.Lock());
  Song* s = impl_->Get(h);
  if (!s) return;
  if (!Start(*s, impl_->mixer.DeviceRate())) return;
  s->order.store(0, std::memory_order_relaxed);
  impl_->playing = s;
}

int TMusicPlayer::SongGetOrder(uintptr_t h) {
  // Only the game thread changes the map, so looking the song up needs no lock.
  Song* s = impl_->Get(h);
  return s ? s->order.load(std::memory_order_relaxed) : 0;
}

void TMusicPlayer::SongFree(uintptr_t h) {
  std::lock_guard lock(impl_->mixer.Lock());
  auto it = impl_->songs.find(h);
  if (it == impl_->songs.end()) return;
  if (impl_->playing == it->second.get()) impl_->playing = nullptr;
  Impl::Free(*it->second);
  impl_->songs.erase(it);
}

}  // namespace tk
