// Counts, in a game preloaded with it, the frame ticks and the presents. The game calls
// tinokvak_frame_tick once per frame tick that ran (its window display looks the probe up
// at the first tick); every present ends in SDL_RenderPresent or an update of the window
// surface. The counts are written to the file named by TK_FRAME_COUNT_FILE about every
// 100 ms, as "ticks presents source": source is "probe" when the game called the probe, or
// "flags" for a build from before it, whose ticks can only be estimated by its calls of
// SDL_GetWindowFlags (made once per tick, but also by its timers' bookkeeping, so that
// figure runs high).
#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>

struct SDL_Window;
struct SDL_Renderer;
struct SDL_Rect;

namespace {

std::atomic<unsigned long> gTicks{0}, gFlagCalls{0}, gPresents{0};
std::atomic<long long> gLastWrite{0};

template <class F>
F Next(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

void MaybeWrite() {
  const char* file = std::getenv("TK_FRAME_COUNT_FILE");
  if (!file) return;
  const long long now = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count();
  if (now - gLastWrite.load() < 100) return;
  gLastWrite = now;
  const unsigned long ticks = gTicks.load();
  if (FILE* f = std::fopen(file, "w")) {
    if (ticks > 0)
      std::fprintf(f, "%lu %lu probe\n", ticks, gPresents.load());
    else
      std::fprintf(f, "%lu %lu flags\n", gFlagCalls.load(), gPresents.load());
    std::fclose(f);
  }
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void tinokvak_frame_tick() {
  ++gTicks;
  MaybeWrite();
}

unsigned SDL_GetWindowFlags(SDL_Window* w) {
  static auto real = Next<unsigned (*)(SDL_Window*)>("SDL_GetWindowFlags");
  ++gFlagCalls;
  // A minimised game ticks no frames: the counts still reach the file.
  MaybeWrite();
  return real(w);
}

void SDL_RenderPresent(SDL_Renderer* r) {
  static auto real = Next<void (*)(SDL_Renderer*)>("SDL_RenderPresent");
  ++gPresents;
  real(r);
}

int SDL_UpdateWindowSurface(SDL_Window* w) {
  static auto real = Next<int (*)(SDL_Window*)>("SDL_UpdateWindowSurface");
  ++gPresents;
  return real(w);
}

int SDL_UpdateWindowSurfaceRects(SDL_Window* w, const SDL_Rect* r, int n) {
  static auto real = Next<int (*)(SDL_Window*, const SDL_Rect*, int)>("SDL_UpdateWindowSurfaceRects");
  ++gPresents;
  return real(w, r, n);
}

}
