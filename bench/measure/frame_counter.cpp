// Counts, in a game preloaded with it, the calls that mark a frame: SDL_GetWindowFlags is
// asked once per frame tick (can the window be drawn on?), and every present ends in
// SDL_RenderPresent or an update of the window surface. The counts are written to the
// file named by TK_FRAME_COUNT_FILE about every 100 ms, as "ticks presents".
#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>

struct SDL_Window;
struct SDL_Renderer;
struct SDL_Rect;

namespace {

std::atomic<unsigned long> gTicks{0}, gPresents{0};
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
  if (FILE* f = std::fopen(file, "w")) {
    std::fprintf(f, "%lu %lu\n", gTicks.load(), gPresents.load());
    std::fclose(f);
  }
}

}  // namespace

extern "C" {

unsigned SDL_GetWindowFlags(SDL_Window* w) {
  static auto real = Next<unsigned (*)(SDL_Window*)>("SDL_GetWindowFlags");
  ++gTicks;
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
