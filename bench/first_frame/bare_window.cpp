// The floor of the first-frame figure: an 800 x 600 window that presents one frame (filled
// with one colour, through the window surface as the game does without a GPU), then waits
// to be closed.
#include <SDL.h>

#include <cstdio>

int main(int, char**) {
  // Without this SDL puts the window surface through a renderer of its own and, with no
  // GPU, loads software OpenGL for it: that would be no floor.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    std::fprintf(stderr, "bench_bare_window: %s\n", SDL_GetError());
    return 1;
  }
  SDL_Window* w = SDL_CreateWindow("bare", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                   800, 600, SDL_WINDOW_SHOWN);
  SDL_Surface* s = w ? SDL_GetWindowSurface(w) : nullptr;
  if (!s) {
    std::fprintf(stderr, "bench_bare_window: %s\n", SDL_GetError());
    return 1;
  }
  SDL_FillRect(s, nullptr, SDL_MapRGB(s->format, 0x20, 0x40, 0x60));
  SDL_UpdateWindowSurface(w);
  SDL_Event e;
  while (SDL_WaitEvent(&e) && e.type != SDL_QUIT) {
  }
  SDL_DestroyWindow(w);
  SDL_Quit();
  return 0;
}
