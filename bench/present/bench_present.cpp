// Putting one 800 x 600 frame in a real window, by each path, against a plain copy of the
// same frame into the window surface. Needs an X server: bench/measure.sh starts Xvfb at
// 3840 x 2160 and runs it; the window is sized per benchmark (800 x 600, 1920 x 1080 and
// 3840 x 2160, the last two letterboxed). Without a GPU, "Renderer" is the software OpenGL
// the game used to present through.
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "platform/FrameScaler.h"
#include "platform/sdl/Presenter.h"

namespace tk::platform {
namespace {

struct Window {
  Window(int w, int h) {
    SDL_Init(SDL_INIT_VIDEO);
    win = SDL_CreateWindow("bench", 0, 0, w, h, 0);
    Settle(w, h);
  }
  ~Window() {
    p.reset();
    if (win) SDL_DestroyWindow(win);
  }
  void Settle(int w, int h) {
    for (int i = 0; i < 100; ++i) {
      SDL_Event e;
      while (SDL_PollEvent(&e)) {
      }
      int ww = 0, wh = 0;
      SDL_GetWindowSize(win, &ww, &wh);
      if (ww == w && wh == h && i > 5) break;
      SDL_Delay(10);
    }
  }
  SDL_Window* win = nullptr;
  std::unique_ptr<Presenter> p;
};

std::vector<uint32_t> Frame() {
  std::vector<uint32_t> f(800 * 600);
  for (size_t i = 0; i < f.size(); ++i) f[i] = static_cast<uint32_t>(i * 2654435761u) >> 8;
  return f;
}

// Forces the path, as TINOKVAK_PRESENT does for the game.
void Through(benchmark::State& st, const char* path) {
  const int w = static_cast<int>(st.range(0)), h = static_cast<int>(st.range(1));
  Window win(w, h);
  if (!win.win) {
    st.SkipWithError("no window (is DISPLAY set?)");
    return;
  }
  setenv("TINOKVAK_PRESENT", path, 1);
  win.p = MakePresenter(win.win, 800, 600);
  unsetenv("TINOKVAK_PRESENT");
  if (!win.p) {
    st.SkipWithError("no presenter");
    return;
  }
  auto f = Frame();
  for (auto _ : st) {
    f[0]++;  // a frame that changed
    win.p->Present(f.data(), 800, 600);
  }
}

void Present_Surface(benchmark::State& st) { Through(st, "surface"); }

// A frame whose change is a band of 40 rows (a menu's hover, the score line): only the
// window rows showing the band are scaled and sent.
void Present_SurfaceBand(benchmark::State& st) {
  const int w = static_cast<int>(st.range(0)), h = static_cast<int>(st.range(1));
  Window win(w, h);
  setenv("TINOKVAK_PRESENT", "surface", 1);
  win.p = win.win ? MakePresenter(win.win, 800, 600) : nullptr;
  unsetenv("TINOKVAK_PRESENT");
  if (!win.p) {
    st.SkipWithError("no window or presenter (is DISPLAY set?)");
    return;
  }
  auto f = Frame();
  win.p->Present(f.data(), 800, 600);
  for (auto _ : st) {
    f[300 * 800]++;
    win.p->PresentRows(f.data(), 800, 600, 280, 320);
  }
}

// The floor of each window size: the letterboxed picture, already scaled, copied row by
// row into the window surface and shown (a memcpy and a shared-memory put of the same area).
void Present_PlainLetterboxCopy(benchmark::State& st) {
  const int w = static_cast<int>(st.range(0)), h = static_cast<int>(st.range(1));
  Window win(w, h);
  SDL_Surface* s = win.win ? SDL_GetWindowSurface(win.win) : nullptr;
  if (!s) {
    st.SkipWithError("no window surface (is DISPLAY set?)");
    return;
  }
  const Letterbox b = FitLetterbox(s->w, s->h, 800, 600);
  std::vector<uint32_t> scaled(static_cast<size_t>(b.W) * b.H);
  FrameScaler().Scale(Frame().data(), 800, 600, scaled.data(), b.W, b.W, b.H);
  for (auto _ : st) {
    scaled[0]++;
    for (int y = 0; y < b.H; ++y)
      std::memcpy(static_cast<uint8_t*>(s->pixels) + static_cast<size_t>(b.Y + y) * s->pitch +
                      static_cast<size_t>(b.X) * 4,
                  scaled.data() + static_cast<size_t>(y) * b.W, static_cast<size_t>(b.W) * 4);
    const SDL_Rect r{b.X, b.Y, b.W, b.H};
    SDL_UpdateWindowSurfaceRects(win.win, &r, 1);
  }
}
void Present_Renderer(benchmark::State& st) { Through(st, "gpu"); }

// The floor at 1:1: the frame copied row by row into the window surface and shown.
void Present_PlainSurfaceCopy(benchmark::State& st) {
  Window win(800, 600);
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  SDL_Surface* s = SDL_GetWindowSurface(win.win);
  if (!s) {
    st.SkipWithError("no window surface");
    return;
  }
  auto f = Frame();
  for (auto _ : st) {
    f[0]++;
    for (int y = 0; y < 600; ++y)
      std::memcpy(static_cast<uint8_t*>(s->pixels) + y * s->pitch, f.data() + y * 800, 800 * 4);
    SDL_UpdateWindowSurface(win.win);
  }
}

// The scaler alone, into memory, for the letterbox of each window size.
void Scale_Only(benchmark::State& st) {
  const Letterbox b = FitLetterbox(static_cast<int>(st.range(0)), static_cast<int>(st.range(1)), 800, 600);
  auto f = Frame();
  std::vector<uint32_t> out(static_cast<size_t>(b.W) * b.H);
  FrameScaler sc;
  for (auto _ : st) {
    sc.Scale(f.data(), 800, 600, out.data(), b.W, b.W, b.H);
    benchmark::ClobberMemory();
  }
}

#define SIZES Args({800, 600})->Args({1920, 1080})->Args({3840, 2160})
BENCHMARK(Present_PlainSurfaceCopy)->Unit(benchmark::kMillisecond);
BENCHMARK(Present_PlainLetterboxCopy)->SIZES->Unit(benchmark::kMillisecond);
BENCHMARK(Present_Surface)->SIZES->Unit(benchmark::kMillisecond);
BENCHMARK(Present_SurfaceBand)->SIZES->Unit(benchmark::kMillisecond);
BENCHMARK(Present_Renderer)->SIZES->Unit(benchmark::kMillisecond);
BENCHMARK(Scale_Only)->SIZES->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tk::platform

BENCHMARK_MAIN();
