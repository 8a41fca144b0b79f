#include "platform/sdl/SdlWindow.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace tk::platform {

namespace {

// The video drivers that run without showing anything.
bool IsHiddenDriver(const char* name) {
  return name && (std::strcmp(name, "offscreen") == 0 || std::strcmp(name, "dummy") == 0 ||
                  std::strcmp(name, "evdev") == 0);
}

// SDL_VIDEODRIVER (or its hint) may list several drivers separated by commas.
bool AskedFor(const char* driver) {
  const char* wanted = SDL_GetHint(SDL_HINT_VIDEODRIVER);
  if (!wanted) wanted = std::getenv("SDL_VIDEODRIVER");
  if (!wanted) return false;
  const std::string list = std::string(",") + wanted + ",";
  return list.find(std::string(",") + driver + ",") != std::string::npos;
}

// Which display was tried, and how to give the game one.
std::string DisplayAdvice() {
  const char* x = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  std::string tried;
  if (x && *x) tried = std::string("DISPLAY=") + x;
  if (wayland && *wayland) tried += (tried.empty() ? "" : " and ") + std::string("WAYLAND_DISPLAY=") + wayland;
  if (tried.empty()) tried = "neither DISPLAY nor WAYLAND_DISPLAY is set";
  else tried = "tried " + tried;
  return " (" + tried + "). Start it from a desktop session, or name a running display, e.g. "
         "DISPLAY=:0 tinokvak.";
}

[[noreturn]] void Refuse(const std::string& why) {
  const std::string sentence =
      "Тиноквак cannot open its window: no graphical display is available: " + why + DisplayAdvice();
  std::fprintf(stderr, "%s\n", sentence.c_str());
  std::fflush(stderr);
  SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "Тиноквак", sentence.c_str(), nullptr);
  SDL_Quit();
  throw NoDisplayError(sentence);
}

}  // namespace

void StartSdlVideo() {
  if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS | SDL_INIT_TIMER) != 0) {
    std::string why = SDL_GetError();
    if (why.empty()) why = "the video system did not start";
    Refuse(why);
  }
  const char* driver = SDL_GetCurrentVideoDriver();
  if (IsHiddenDriver(driver) && !AskedFor(driver))
    Refuse(std::string("only the window-less \"") + driver + "\" video driver came up");
}

Uint32 GameWindowFlags() {
  return SDL_WINDOW_HIDDEN | SDL_WINDOW_ALLOW_HIGHDPI | SDL_WINDOW_RESIZABLE;
}

void MakeWindowed(SDL_Window* window) {
  SDL_SetWindowBordered(window, SDL_TRUE);
  SDL_SetWindowResizable(window, SDL_TRUE);
}

void SetGameWindowIcon(SDL_Window* window, const WindowIcon& icon) {
  if (!window || !icon.Argb || icon.Size <= 0) return;
  SDL_Surface* s = SDL_CreateRGBSurfaceWithFormatFrom(
      const_cast<uint32_t*>(icon.Argb), icon.Size, icon.Size, 32, icon.Size * 4,
      SDL_PIXELFORMAT_ARGB8888);
  if (!s) return;
  SDL_SetWindowIcon(window, s);
  SDL_FreeSurface(s);
}

WindowPlacement CentredPlacement() {
  WindowPlacement p;
  SDL_Rect area{0, 0, p.Width, p.Height};
  if (SDL_GetDisplayUsableBounds(0, &area) != 0) SDL_GetDisplayBounds(0, &area);
  p.X = area.x + (area.w - p.Width) / 2;
  p.Y = area.y + (area.h - p.Height) / 2;
  return p;
}

}  // namespace tk::platform
