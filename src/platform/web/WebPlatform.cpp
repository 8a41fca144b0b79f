#include "platform/web/WebPlatform.h"

#include <emscripten.h>
#include <emscripten/html5.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <utility>

#include "platform/Cp1251.h"
#include "platform/Files.h"
#include "platform/Shortcut.h"
#include "platform/TableText.h"
#include "platform/Text.h"
#include "platform/web/FetchHttp.h"
#include "platform/web/WebAudio.h"
#include "platform/web/KeyCodes.h"

// ---- The page's side: small steps in the page's JavaScript, each named for what it does.

// Where the frame may go in the browser window, in CSS pixels: the window's inside less
// the bands the page keeps for its own controls (window.tinokvak.margins: the watch bar
// above, the touch buttons below or beside); and the device pixels per CSS pixel.
EM_JS(void, tk_web_window_size, (int* x, int* y, int* w, int* h, double* dpr), {
  const m = (window.tinokvak && window.tinokvak.margins) || {};
  const left = Math.max(0, m.left | 0), top = Math.max(0, m.top | 0);
  const right = Math.max(0, m.right | 0), bottom = Math.max(0, m.bottom | 0);
  HEAP32[x >> 2] = left;
  HEAP32[y >> 2] = top;
  HEAP32[w >> 2] = Math.max(1, window.innerWidth - left - right);
  HEAP32[h >> 2] = Math.max(1, window.innerHeight - top - bottom);
  HEAPF64[dpr >> 3] = window.devicePixelRatio || 1;
});

// Places the canvas in CSS pixels; pixelated scaling keeps whole ratios crisp, and any
// other ratio is filtered as the desktop's renderer filters it.
EM_JS(void, tk_web_place_canvas, (const char* sel, double x, double y, double w, double h, int crisp), {
  const c = document.querySelector(UTF8ToString(sel));
  if (!c) return;
  c.style.position = "absolute";
  c.style.left = x + "px";
  c.style.top = y + "px";
  c.style.width = w + "px";
  c.style.height = h + "px";
  c.style.imageRendering = crisp ? "pixelated" : "auto";
});

// Rows [first, end) of an RGBA frame at ptr onto the canvas.
EM_JS(void, tk_web_put_rows, (const char* sel, const uint8_t* ptr, int width, int height, int first, int end), {
  const c = document.querySelector(UTF8ToString(sel));
  if (!c) return;
  if (c.width !== width || c.height !== height) {
    c.width = width;
    c.height = height;
    c.tkContext = null;
  }
  if (!c.tkContext) c.tkContext = c.getContext("2d", {alpha: false});
  const rows = end - first;
  if (rows <= 0) return;
  const bytes = new Uint8ClampedArray(HEAPU8.buffer, ptr + first * width * 4, rows * width * 4);
  c.tkContext.putImageData(new ImageData(bytes, width, rows), 0, first);
  if (window.tinokvak && !window.tinokvak.ready) {
    window.tinokvak.ready = true;
    if (typeof tkAfterFirstFrame === "function") tkAfterFirstFrame();
    if (window.tinokvak.onReady) window.tinokvak.onReady();
  }
});

EM_JS(void, tk_web_set_title, (const char* utf8), { document.title = UTF8ToString(utf8); });

EM_JS(void, tk_web_set_cursor, (const char* sel, const char* css), {
  const c = document.querySelector(UTF8ToString(sel));
  const v = UTF8ToString(css);
  document.body.style.cursor = v;
  if (c) c.style.cursor = v;
});

EM_JS(void, tk_web_show, (const char* sel), {
  const c = document.querySelector(UTF8ToString(sel));
  if (c) c.style.visibility = "visible";
  const l = document.getElementById("loading");
  if (l) l.style.display = "none";
});

// Asks for full screen for the whole page; refused when the page has had no user gesture
// lately (asked again at the next one). The browser's grant is noted apart from its
// fullscreenchange event: that event reads the state when it is dispatched, so one left
// again before it came (a quick Esc) reads as "not in full screen" twice.
EM_JS(void, tk_web_request_fullscreen, (), {
  const e = document.documentElement;
  if (document.fullscreenElement || !e.requestFullscreen) return;
  Module.tkFullscreenGranted = false;
  try {
    const p = e.requestFullscreen();
    if (p && p.then) p.then(() => { Module.tkFullscreenGranted = true; }, () => {});
  } catch (err) {
  }
});

// Whether the browser granted the last request since it was last asked here.
EM_JS(int, tk_web_take_fullscreen_grant, (), {
  const granted = !!Module.tkFullscreenGranted;
  Module.tkFullscreenGranted = false;
  return granted ? 1 : 0;
});

EM_JS(void, tk_web_exit_fullscreen, (), {
  if (document.fullscreenElement && document.exitFullscreen) {
    const p = document.exitFullscreen();
    if (p && p.catch) p.catch(() => {});
  }
});

EM_JS(int, tk_web_in_fullscreen, (), { return document.fullscreenElement ? 1 : 0; });
EM_JS(int, tk_web_hidden, (), { return document.hidden ? 1 : 0; });

// A message box of the page: over the game, closed by its button; the game goes on.
EM_JS(void, tk_web_message, (const char* text, const char* caption, int error), {
  const t = UTF8ToString(text), c = UTF8ToString(caption);
  (error ? console.error : console.log)(c + ": " + t);
  const box = document.createElement("div");
  box.className = "message" + (error ? " error" : "");
  box.setAttribute("role", "alertdialog");
  const h = document.createElement("strong");
  h.textContent = c;
  const p = document.createElement("p");
  p.textContent = t;
  const b = document.createElement("button");
  b.textContent = "OK";
  b.addEventListener("click", () => box.remove());
  box.append(h, p, b);
  document.body.appendChild(box);
});

EM_JS(void, tk_web_open, (const char* url), {
  const u = UTF8ToString(url);
  if (!/^(https?:|mailto:)/i.test(u)) return;  // nothing else is the browser's to open
  window.open(u, "_blank", "noopener");
});

namespace tk::platform {

struct WebPlatform::State {
  std::string selector;
  Letterbox box;          // the canvas in the window, device pixels
  double dpr = 1;         // device pixels per CSS pixel
  bool up = false, shown = false, frameShown = false;
  bool fullScreen = false;         // the game's display is in full screen
  bool fullScreenEntered = false;  // and the browser has granted it
  bool maximized = false;  // reads as maximised: the browser left full screen on its own (Esc)
  bool focused = true, visible = true, active = true;
  int touch = -1;                  // the touch that stands for the mouse
  int lastX = INT32_MIN, lastY = INT32_MIN;
  WindowPlacement placement;
  std::string caption;
};

namespace {

constexpr int kFrameW = 800, kFrameH = 600;

const char* CssCursor(Cursor c) {
  switch (c) {
    case Cursor::Arrow: return "default";
    case Cursor::Hand: return "pointer";
    case Cursor::IBeam: return "text";
    case Cursor::Hidden: return "none";
  }
  return "default";
}

}  // namespace

class WebClock : public IClock {
 public:
  explicit WebClock(WebPlatform& p) : p_(p) {}
  uint64_t NowMs() override { return p_.Now(); }
  void Sleep(uint32_t ms) override {
    if (p_.virtual_)
      p_.AdvanceTo(p_.virtualNow_ + ms);
    else
      p_.heldUntil_ = p_.Now() + ms;
  }

 private:
  WebPlatform& p_;
};

class WebDisplay : public IDisplay {
 public:
  explicit WebDisplay(WebPlatform& p) : p_(p), s_(p.Internal()) {}
  bool Initialize(bool fullScreen) override {
    s_.up = true;
    s_.frameShown = false;
    if (fullScreen) s_.maximized = false;
    s_.fullScreen = fullScreen;
    p_.Record().FullScreen = fullScreen;
    if (p_.VirtualClock()) return true;  // a test run leaves the browser's window alone
    if (fullScreen) {
      // Granted now inside a key press or a click; otherwise at the player's next one.
      tk_web_request_fullscreen();
    } else {
      s_.fullScreenEntered = false;
      tk_web_exit_fullscreen();
    }
    return true;
  }
  void Finalize() override { s_.up = false; }
  bool CanDraw() override { return s_.up && s_.visible; }
  void Present(const uint32_t* pixels, int width, int height) override {
    PresentRows(pixels, width, height, 0, height);
  }
  void PresentRows(const uint32_t* pixels, int width, int height, int firstRow,
                   int endRow) override {
    auto& rgba = Frame();
    const size_t size = static_cast<size_t>(width) * height * 4;
    if (rgba.size() != size) {
      rgba.assign(size, 0);
      firstRow = 0;
      endRow = height;
    }
    if (!s_.frameShown) {
      firstRow = 0;
      endRow = height;
    }
    firstRow = std::clamp(firstRow, 0, height);
    endRow = std::clamp(endRow, firstRow, height);
    auto* out = reinterpret_cast<uint32_t*>(rgba.data());
    for (size_t i = static_cast<size_t>(firstRow) * width, n = static_cast<size_t>(endRow) * width; i < n; ++i) {
      const uint32_t p = pixels[i];
      // Little-endian RGBA, opaque.
      out[i] = 0xFF000000u | ((p & 0xFFu) << 16) | (p & 0xFF00u) | ((p >> 16) & 0xFFu);
    }
    tk_web_put_rows(s_.selector.c_str(), rgba.data(), width, height, firstRow, endRow);
    s_.frameShown = true;
  }
  // The canvas keeps what it was given until it is given another.
  bool ShowsLastFrame() override { return s_.frameShown && s_.up; }
  void FrameTicked() override { ++p_.Record().Ticks; }
  void Show() override {
    s_.shown = true;
    tk_web_show(s_.selector.c_str());
  }
  void SetCaption(const std::string& c) override {
    s_.caption = Cp1251ToUtf8(c);
    tk_web_set_title(s_.caption.c_str());
  }
  void SetCursor(Cursor c) override { tk_web_set_cursor(s_.selector.c_str(), CssCursor(c)); }
  WindowPlacement GetPlacement() override { return s_.placement; }
  void SetPlacement(const WindowPlacement& p) override { s_.placement = p; }
  // The browser's window cannot be maximised by the page; a full screen the browser left
  // on its own (Esc) is reported as the window's state change that makes the game switch
  // to window mode, which the game's replay journals as it does a maximised window.
  bool IsMaximized() override { return s_.maximized; }
  void SetNormalState() override { s_.maximized = false; }
  void Destroy() override {
    s_.up = false;
    s_.frameShown = false;
  }

 private:
  std::vector<uint8_t>& Frame() { return const_cast<std::vector<uint8_t>&>(p_.LastFrame()); }
  WebPlatform& p_;
  WebPlatform::State& s_;
};

class WebInput : public IInput {
 public:
  explicit WebInput(WebPlatform& p) : p_(p) {}
  bool IsKeyDown(int key) override {
    for (const auto& [code, k] : p_.held_)
      if (k == key) return true;
    return false;
  }
  ControllerState Controller() override {
    ControllerState c;
    if (p_.VirtualClock()) return c;
    if (emscripten_sample_gamepad_data() != EMSCRIPTEN_RESULT_SUCCESS) return c;
    if (emscripten_get_num_gamepads() <= 0) return c;
    EmscriptenGamepadEvent g{};
    if (emscripten_get_gamepad_status(0, &g) != EMSCRIPTEN_RESULT_SUCCESS || !g.connected) return c;
    c.Present = true;
    const auto axis = [](double v) {
      return static_cast<int>(std::lround(std::clamp(v, -1.0, 1.0) * (v < 0 ? 32768 : 32767)));
    };
    if (g.numAxes > 0) c.AxisX = axis(g.axis[0]);
    if (g.numAxes > 1) c.AxisY = axis(g.axis[1]);
    for (int i = 0; i < g.numButtons; ++i) c.Buttons.push_back(g.digitalButton[i] != 0);
    return c;
  }
  bool HasFocus() override { return p_.Internal().active; }

 private:
  WebPlatform& p_;
};

class WebShell : public IShell {
 public:
  explicit WebShell(WebPlatform& p) : p_(p) {}
  void Open(const std::string& target) override {
    p_.Record().Opened.push_back(target);
    if (p_.VirtualClock()) return;
    std::string url = target;
    // A shortcut file shipped with the game names its address.
    std::error_code ec;
    const auto path = ResolvePath(target);
    if (std::filesystem::is_regular_file(path, ec)) {
      try {
        url = ReadInternetShortcutUrl(ReadWholeFile(path.string()));
      } catch (const std::exception&) {
        url.clear();
      }
    }
    if (!url.empty()) tk_web_open(url.c_str());
  }
  void Spawn(const std::string& program, const std::vector<std::string>&) override {
    std::fprintf(stderr, "A page cannot start programs: %s was not started\n", program.c_str());
  }
  void MessageBox(const std::string& text, const std::string& caption, MessageStyle style) override {
    p_.Record().Messages.push_back(text);
    tk_web_message(Cp1251ToUtf8(text).c_str(), Cp1251ToUtf8(caption).c_str(),
                   style == MessageStyle::Error ? 1 : 0);
  }

 private:
  WebPlatform& p_;
};

class WebEventSource : public IEventSource {
 public:
  explicit WebEventSource(WebPlatform& p) : p_(p) {}
  void Pump(IEventSink& sink, uint32_t) override {
    while (!p_.events_.empty()) {
      WebEvent e = std::move(p_.events_.front());
      p_.events_.pop_front();
      switch (e.Type) {
        case WebEvent::KeyDown:
          p_.held_[e.Code] = e.Key;
          sink.OnKeyDown(e.Key, e.Mods);
          break;
        case WebEvent::KeyUp:
          p_.held_.erase(e.Code);
          sink.OnKeyUp(e.Key, e.Mods);
          break;
        case WebEvent::Char: sink.OnChar(e.Ch); break;
        case WebEvent::MouseMove: sink.OnMouseMove(e.X, e.Y); break;
        case WebEvent::MouseDown: sink.OnMouseDown(e.Button, e.X, e.Y); break;
        case WebEvent::MouseUp: sink.OnMouseUp(e.Button, e.X, e.Y); break;
        case WebEvent::Activate: sink.OnActivate(e.Active); break;
        case WebEvent::Resize: sink.OnResize(); break;
        case WebEvent::Close: sink.OnCloseRequest(); break;
      }
    }
  }

 private:
  WebPlatform& p_;
};

// ---- The browser's handlers

namespace {

WebPlatform& Of(void* user) { return *static_cast<WebPlatform*>(user); }

void Delivered(WebPlatform& p) {
  if (p.OnInput) p.OnInput();
}

// A user's gesture: the moment a full screen the game wants can be granted.
void Gesture(WebPlatform& p) {
  auto& s = p.Internal();
  if (s.fullScreen && !s.fullScreenEntered && !tk_web_in_fullscreen()) tk_web_request_fullscreen();
}

void Place(WebPlatform& p) {
  auto& s = p.Internal();
  int x = 0, y = 0, w = 0, h = 0;
  double dpr = 1;
  tk_web_window_size(&x, &y, &w, &h, &dpr);
  if (!(dpr > 0)) dpr = 1;
  s.dpr = dpr;
  // The window's rules in device pixels, so a whole ratio is whole on the screen.
  s.box = FitLetterbox(static_cast<int>(std::lround(w * dpr)), static_cast<int>(std::lround(h * dpr)),
                       kFrameW, kFrameH);
  s.box.X += static_cast<int>(std::lround(x * dpr));
  s.box.Y += static_cast<int>(std::lround(y * dpr));
  const bool crisp = s.box.W % kFrameW == 0 && s.box.H % kFrameH == 0;
  tk_web_place_canvas(s.selector.c_str(), s.box.X / dpr, s.box.Y / dpr, s.box.W / dpr,
                      s.box.H / dpr, crisp ? 1 : 0);
}

std::pair<int, int> FramePoint(WebPlatform& p, double clientX, double clientY) {
  auto& s = p.Internal();
  int x = 0, y = 0;
  WindowToFrame(s.box, static_cast<int>(std::lround(clientX * s.dpr)),
                static_cast<int>(std::lround(clientY * s.dpr)), x, y);
  return {x, y};
}

void ReportActivity(WebPlatform& p) {
  auto& s = p.Internal();
  const bool active = s.focused && s.visible;
  if (active == s.active) return;
  s.active = active;
  if (!active) {
    // Keys held when the page lost the keyboard are let go, as the desktop's window does.
    for (const auto& [code, key] : p.HeldKeys()) {
      WebEvent up{WebEvent::KeyUp};
      up.Key = key;
      up.Code = code;
      p.Push(up);
    }
  }
  WebEvent e{WebEvent::Activate};
  e.Active = active;
  p.Push(e);
}

void MoveTo(WebPlatform& p, int x, int y) {
  auto& s = p.Internal();
  if (x == s.lastX && y == s.lastY) return;
  s.lastX = x;
  s.lastY = y;
  WebEvent e{WebEvent::MouseMove};
  e.X = x;
  e.Y = y;
  p.Push(e);
}

MouseButton ButtonOf(unsigned short b) {
  return b == 2 ? MouseButton::Right : b == 1 ? MouseButton::Middle : MouseButton::Left;
}

EM_BOOL OnKey(int type, const EmscriptenKeyboardEvent* e, void* user) {
  WebPlatform& p = Of(user);
  const bool types = !TypedText(e->key, e->ctrlKey, e->altKey, e->metaKey).empty();
  if (type == EMSCRIPTEN_EVENT_KEYPRESS) {
    // What the key typed: after its key press, as the desktop's text input comes.
    for (char c : TypedText(e->key, e->ctrlKey, e->altKey, e->metaKey)) {
      WebEvent t{WebEvent::Char};
      t.Ch = static_cast<uint8_t>(c);
      p.Push(t);
    }
    Delivered(p);
    return EM_TRUE;
  }
  const int key = VirtualKeyOfCode(e->code, e->key, true);
  std::string code = e->code[0] ? std::string(e->code) : std::string("key:") + e->key;
  const KeyMods mods{e->altKey != 0, e->ctrlKey != 0, e->shiftKey != 0};
  WebEvent k{type == EMSCRIPTEN_EVENT_KEYDOWN ? WebEvent::KeyDown : WebEvent::KeyUp};
  k.Key = key;
  k.Code = code;
  k.Mods = mods;
  if (type == EMSCRIPTEN_EVENT_KEYDOWN) {
    Gesture(p);
    if (key) p.Push(k);
  } else {
    p.Push(k);
  }
  Delivered(p);
  // A key that types keeps its default, or the browser would not say what it typed.
  if (BrowserKeepsKey(e->code, e->ctrlKey, e->metaKey) || (type == EMSCRIPTEN_EVENT_KEYDOWN && types))
    return EM_FALSE;
  return EM_TRUE;
}

EM_BOOL OnMouse(int type, const EmscriptenMouseEvent* e, void* user) {
  WebPlatform& p = Of(user);
  const auto [x, y] = FramePoint(p, e->clientX, e->clientY);
  MoveTo(p, x, y);
  if (type == EMSCRIPTEN_EVENT_MOUSEDOWN || type == EMSCRIPTEN_EVENT_MOUSEUP) {
    if (type == EMSCRIPTEN_EVENT_MOUSEDOWN) Gesture(p);
    WebEvent b{type == EMSCRIPTEN_EVENT_MOUSEDOWN ? WebEvent::MouseDown : WebEvent::MouseUp};
    b.Button = ButtonOf(e->button);
    b.X = x;
    b.Y = y;
    p.Push(b);
  }
  Delivered(p);
  return type == EMSCRIPTEN_EVENT_MOUSEMOVE ? EM_FALSE : EM_TRUE;
}

// The first finger is the mouse with its left button: down where it touches, moving with
// it, up where it leaves. Other fingers are ignored.
EM_BOOL OnTouch(int type, const EmscriptenTouchEvent* e, void* user) {
  WebPlatform& p = Of(user);
  auto& s = p.Internal();
  for (int i = 0; i < e->numTouches; ++i) {
    const EmscriptenTouchPoint& t = e->touches[i];
    if (!t.isChanged) continue;
    const int id = static_cast<int>(t.identifier);
    if (type == EMSCRIPTEN_EVENT_TOUCHSTART) {
      if (s.touch >= 0) continue;
      s.touch = id;
      const auto [x, y] = FramePoint(p, t.clientX, t.clientY);
      MoveTo(p, x, y);
      Gesture(p);
      WebEvent d{WebEvent::MouseDown};
      d.X = x;
      d.Y = y;
      p.Push(d);
    } else if (id == s.touch) {
      const auto [x, y] = FramePoint(p, t.clientX, t.clientY);
      MoveTo(p, x, y);
      if (type == EMSCRIPTEN_EVENT_TOUCHEND || type == EMSCRIPTEN_EVENT_TOUCHCANCEL) {
        s.touch = -1;
        WebEvent u{WebEvent::MouseUp};
        u.X = x;
        u.Y = y;
        p.Push(u);
      }
    }
  }
  Delivered(p);
  return EM_TRUE;  // no emulated mouse events, no scrolling or zooming of the page
}

EM_BOOL OnFocus(int type, const EmscriptenFocusEvent*, void* user) {
  WebPlatform& p = Of(user);
  p.Internal().focused = type == EMSCRIPTEN_EVENT_FOCUS;
  ReportActivity(p);
  Delivered(p);
  return EM_FALSE;
}

EM_BOOL OnVisibility(int, const EmscriptenVisibilityChangeEvent* e, void* user) {
  WebPlatform& p = Of(user);
  p.Internal().visible = !e->hidden;
  ReportActivity(p);
  Delivered(p);
  return EM_FALSE;
}

EM_BOOL OnResize(int, const EmscriptenUiEvent*, void* user) {
  Place(Of(user));
  return EM_FALSE;
}

EM_BOOL OnFullscreen(int, const EmscriptenFullscreenChangeEvent* e, void* user) {
  WebPlatform& p = Of(user);
  auto& s = p.Internal();
  // Granted since asked, whether or not its own event said so.
  const bool granted = tk_web_take_fullscreen_grant() != 0;
  if (e->isFullscreen) {
    s.fullScreenEntered = true;
    // Granted after the game went back to window mode meanwhile: the game decides.
    if (!s.fullScreen) {
      s.fullScreenEntered = false;
      tk_web_exit_fullscreen();
    }
  } else if (s.fullScreen && (s.fullScreenEntered || granted)) {
    // The player left full screen through the browser (Esc): the game follows.
    s.fullScreenEntered = false;
    s.maximized = true;
    p.Push({WebEvent::Resize});
  }
  Place(p);
  Delivered(p);
  return EM_FALSE;
}

}  // namespace

// ---- The platform

WebPlatform::WebPlatform(const std::string& dataDir, std::string canvasSelector)
    : state_(std::make_unique<State>()) {
  state_->selector = std::move(canvasSelector);
  origin_ = emscripten_get_now();
  const std::string glyphs = dataDir + "/glyphs.tkg";
  try {
    Text = MakeTableTextRenderer(ParseGlyphTables(ReadWholeFile(glyphs)));
  } catch (const std::exception& e) {
    throw std::runtime_error(glyphs + ": " + e.what());
  }
  Clock = std::make_unique<WebClock>(*this);
  Display = std::make_unique<WebDisplay>(*this);
  Input = std::make_unique<WebInput>(*this);
  Audio = MakeWebAudioOutput();
  Shell = std::make_unique<WebShell>(*this);
  Http = MakeFetchHttp();  // to the server the page came from
  Events = std::make_unique<WebEventSource>(*this);

  state_->visible = !tk_web_hidden();
  state_->active = state_->visible;
  if (!state_->active) {
    WebEvent away{WebEvent::Activate};
    away.Active = false;
    Push(away);
  }
  Place(*this);
  const char* win = EMSCRIPTEN_EVENT_TARGET_WINDOW;
  emscripten_set_resize_callback(win, this, EM_FALSE, OnResize);
  emscripten_set_keydown_callback(win, this, EM_TRUE, OnKey);
  emscripten_set_keyup_callback(win, this, EM_TRUE, OnKey);
  emscripten_set_keypress_callback(win, this, EM_TRUE, OnKey);
  emscripten_set_mousemove_callback(win, this, EM_TRUE, OnMouse);
  emscripten_set_mousedown_callback(win, this, EM_TRUE, OnMouse);
  emscripten_set_mouseup_callback(win, this, EM_TRUE, OnMouse);
  // A finger on the canvas is the game's (and follows it off the canvas); elsewhere, on a
  // message's button, the page's own.
  const char* canvas = state_->selector.c_str();
  emscripten_set_touchstart_callback(canvas, this, EM_TRUE, OnTouch);
  emscripten_set_touchmove_callback(canvas, this, EM_TRUE, OnTouch);
  emscripten_set_touchend_callback(canvas, this, EM_TRUE, OnTouch);
  emscripten_set_touchcancel_callback(canvas, this, EM_TRUE, OnTouch);
  emscripten_set_focus_callback(win, this, EM_FALSE, OnFocus);
  emscripten_set_blur_callback(win, this, EM_FALSE, OnFocus);
  emscripten_set_visibilitychange_callback(this, EM_FALSE, OnVisibility);
  emscripten_set_fullscreenchange_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, this, EM_FALSE, OnFullscreen);
}

WebPlatform::~WebPlatform() {
  emscripten_html5_remove_all_event_listeners();
  Events.reset();
  Shell.reset();
  Audio.reset();
  Input.reset();
  Display.reset();
  Clock.reset();
  Text.reset();
}

void WebPlatform::UseVirtualClock() {
  virtual_ = true;
  virtualNow_ = 0;
  // The script is the only input: the browser's own goes nowhere.
  emscripten_html5_remove_all_event_listeners();
  emscripten_set_resize_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, this, EM_FALSE, OnResize);
  events_.clear();
  held_.clear();
  state_->focused = state_->visible = state_->active = true;
}

void WebPlatform::AdvanceTo(uint64_t t) {
  if (virtual_ && t > virtualNow_) virtualNow_ = t;
}

uint64_t WebPlatform::Now() {
  if (virtual_) return virtualNow_;
  const double real = emscripten_get_now() - origin_;
  const uint64_t ms = real > 0 ? static_cast<uint64_t>(real) : 0;
  return std::max(ms, heldUntil_);
}

uint32_t WebPlatform::HeldMs() {
  if (virtual_) return 0;
  const double real = emscripten_get_now() - origin_;
  const uint64_t ms = real > 0 ? static_cast<uint64_t>(real) : 0;
  return heldUntil_ > ms ? static_cast<uint32_t>(heldUntil_ - ms) : 0;
}

void WebPlatform::Push(const WebEvent& e) { events_.push_back(e); }

void WebPlatform::SetMaximized(bool on) { state_->maximized = on; }

void WebPlatform::SetMinimized(bool on) { state_->visible = !on; }

}  // namespace tk::platform
