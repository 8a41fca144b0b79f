#include "platform/sdl/WindowTitle.h"

#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace tk::platform {

void SetWindowTitleUtf8(SDL_Window* window, const std::string& utf8) {
  if (!window) return;
  SDL_SetWindowTitle(window, utf8.c_str());
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return;
  ::Display* d = info.info.x11.display;
  const ::Window w = info.info.x11.window;
  const Atom utf8String = XInternAtom(d, "UTF8_STRING", False);
  const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
  const int size = static_cast<int>(utf8.size());
  for (const Atom property : {XInternAtom(d, "_NET_WM_NAME", False), static_cast<Atom>(XA_WM_NAME),
                              XInternAtom(d, "_NET_WM_ICON_NAME", False),
                              static_cast<Atom>(XA_WM_ICON_NAME)})
    XChangeProperty(d, w, property, utf8String, 8, PropModeReplace, bytes, size);
  XFlush(d);
}

}  // namespace tk::platform
