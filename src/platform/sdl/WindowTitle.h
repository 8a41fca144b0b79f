// The window's title as desktops read it: UTF-8 in _NET_WM_NAME and WM_NAME on X11,
// whatever the process's locale (SDL leaves _NET_WM_NAME empty and converts WM_NAME
// through the locale when it is not a UTF-8 one).
#pragma once

#include <SDL.h>

#include <string>

namespace tk::platform {

void SetWindowTitleUtf8(SDL_Window* window, const std::string& utf8);

}  // namespace tk::platform
