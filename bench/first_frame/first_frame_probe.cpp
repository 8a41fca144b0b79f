// Preloaded by first_frame.sh into the game and into the bare window: when the first
// present returns (a window-surface update or a renderer present), writes the wall clock
// in nanoseconds (CLOCK_REALTIME, as `date +%s%N` gives it) to the file TK_FIRST_FRAME_FILE
// names. Later presents pass through untouched.
#include <dlfcn.h>
#include <time.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

struct SDL_Window;
struct SDL_Renderer;
struct SDL_Rect;

namespace {

std::atomic<bool> gNoted{false};

void NoteFirst() {
  if (gNoted.exchange(true)) return;
  timespec t{};
  clock_gettime(CLOCK_REALTIME, &t);
  const char* file = std::getenv("TK_FIRST_FRAME_FILE");
  if (!file) return;
  // Written whole under another name, then renamed, so the reader never sees half a line.
  char part[4096];
  std::snprintf(part, sizeof part, "%s.part", file);
  if (FILE* f = std::fopen(part, "w")) {
    std::fprintf(f, "%lld\n", static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec);
    std::fclose(f);
    std::rename(part, file);
  }
}

template <class F>
F Next(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {

void SDL_RenderPresent(SDL_Renderer* r) {
  static auto real = Next<void (*)(SDL_Renderer*)>("SDL_RenderPresent");
  real(r);
  NoteFirst();
}

int SDL_UpdateWindowSurface(SDL_Window* w) {
  static auto real = Next<int (*)(SDL_Window*)>("SDL_UpdateWindowSurface");
  const int rc = real(w);
  NoteFirst();
  return rc;
}

int SDL_UpdateWindowSurfaceRects(SDL_Window* w, const SDL_Rect* r, int n) {
  static auto real =
      Next<int (*)(SDL_Window*, const SDL_Rect*, int)>("SDL_UpdateWindowSurfaceRects");
  const int rc = real(w, r, n);
  NoteFirst();
  return rc;
}

}  // extern "C"
