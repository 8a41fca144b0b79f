#include "platform/sdl/X11Errors.h"

#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>

namespace tk::platform {
namespace {

XErrorHandler g_previous = nullptr;

int Handle(::Display* display, XErrorEvent* e) {
  if (IsGoneWindowError(e->error_code)) {
    if (const char* debug = std::getenv("TINOKVAK_DEBUG"); debug && *debug == '1')
      std::fprintf(stderr, "X error for window 0x%lx, which is gone (request %d): passed over\n",
                   e->resourceid, e->request_code);
    return 0;
  }
  return g_previous ? g_previous(display, e) : 0;
}

}  // namespace

bool IsGoneWindowError(int errorCode) { return errorCode == BadWindow; }

void PassOverGoneWindowErrors() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  g_previous = XSetErrorHandler(Handle);
}

}  // namespace tk::platform
