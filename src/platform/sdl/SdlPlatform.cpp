#include "platform/sdl/SdlPlatform.h"

#include <SDL.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <utility>

#include "platform/Cp1251.h"
#include "platform/http/CurlHttp.h"
#include "platform/Shortcut.h"
#include "platform/sdl/Presenter.h"
#include "platform/text/TtfText.h"
#include "platform/sdl/KeyTable.h"
#include "platform/sdl/SdlWindow.h"
#include "platform/sdl/WindowTitle.h"
#include "platform/sdl/X11Errors.h"

extern char** environ;

namespace tk::platform {

namespace {

KeyMods ModsOf(uint16_t mod) {
  return {(mod & KMOD_ALT) != 0, (mod & KMOD_CTRL) != 0, (mod & KMOD_SHIFT) != 0};
}

struct SdlState {
  SDL_Window* window = nullptr;
  std::unique_ptr<Presenter> presenter;
  bool frameShown = false;  // the window still shows the last frame presented
  SDL_Joystick* joystick = nullptr;
  std::array<SDL_Cursor*, 3> cursors{};
  bool shown = false;
  bool up = false;
  bool fullScreen = false;
  std::optional<WindowPlacement> pendingPlacement;
  WindowIcon icon;
};

class SdlClock : public IClock {
 public:
  uint64_t NowMs() override { return SDL_GetTicks64(); }
  void Sleep(uint32_t ms) override { SDL_Delay(ms); }
};

class SdlDisplay : public IDisplay {
 public:
  explicit SdlDisplay(SdlState& s) : s_(s) {}
  ~SdlDisplay() override { Destroy(); }

  bool Initialize(bool fullScreen) override {
    if (!s_.window) {
      s_.window = SDL_CreateWindow("", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 800, 600,
                                   GameWindowFlags());
      if (!s_.window) {
        std::fprintf(stderr, "Cannot create the window: %s\n", SDL_GetError());
        return false;
      }
      SetWindowTitleUtf8(s_.window, caption_);
      SetGameWindowIcon(s_.window, s_.icon);
      s_.presenter = MakePresenter(s_.window, 800, 600);
      if (!s_.presenter) {
        std::fprintf(stderr, "Cannot present frames: %s\n", SDL_GetError());
        return false;
      }
      SDL_StartTextInput();
    }
    SDL_SetWindowFullscreen(s_.window, fullScreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
    if (!fullScreen) {
      MakeWindowed(s_.window);
      if (s_.pendingPlacement) {
        SDL_SetWindowPosition(s_.window, s_.pendingPlacement->X, s_.pendingPlacement->Y);
        s_.pendingPlacement.reset();
      }
    }
    s_.fullScreen = fullScreen;
    s_.up = true;
    s_.frameShown = false;
    s_.presenter->Invalidate();
    // The main window is shown before its display first comes up: it appears now.
    if (s_.shown && (SDL_GetWindowFlags(s_.window) & SDL_WINDOW_HIDDEN)) {
      SDL_ShowWindow(s_.window);
      SDL_RaiseWindow(s_.window);
    }
    return true;
  }
  void Finalize() override { s_.up = false; }
  bool CanDraw() override {
    return s_.up && s_.window && !(SDL_GetWindowFlags(s_.window) & SDL_WINDOW_MINIMIZED);
  }
  void Present(const uint32_t* pixels, int width, int height) override {
    s_.frameShown = s_.presenter && s_.presenter->Present(pixels, width, height);
  }
  void PresentRows(const uint32_t* pixels, int width, int height, int firstRow,
                   int endRow) override {
    s_.frameShown =
        s_.presenter && s_.presenter->PresentRows(pixels, width, height, firstRow, endRow);
  }
  bool ShowsLastFrame() override { return s_.frameShown; }
  void FrameTicked() override {
    // A frame counter preloaded into the game (bench/measure) defines this probe; the game
    // alone never does, and then a tick costs one null test.
    static const auto probe =
        reinterpret_cast<void (*)()>(dlsym(RTLD_DEFAULT, "tinokvak_frame_tick"));
    if (probe) probe();
  }
  void Show() override {
    s_.shown = true;
    if (s_.window) {
      SDL_ShowWindow(s_.window);
      SDL_RaiseWindow(s_.window);
    }
  }
  void SetCaption(const std::string& c) override {
    caption_ = Cp1251ToUtf8(c);
    if (s_.window) SetWindowTitleUtf8(s_.window, caption_);
  }
  void SetCursor(Cursor c) override {
    if (c == Cursor::Hidden) {
      SDL_ShowCursor(SDL_DISABLE);
      return;
    }
    const SDL_SystemCursor ids[3] = {SDL_SYSTEM_CURSOR_ARROW, SDL_SYSTEM_CURSOR_HAND,
                                     SDL_SYSTEM_CURSOR_IBEAM};
    const int i = c == Cursor::Arrow ? 0 : c == Cursor::Hand ? 1 : 2;
    if (!s_.cursors[i]) s_.cursors[i] = SDL_CreateSystemCursor(ids[i]);
    if (s_.cursors[i]) SDL_SetCursor(s_.cursors[i]);
    SDL_ShowCursor(SDL_ENABLE);
  }
  WindowPlacement GetPlacement() override {
    WindowPlacement p;
    // Not made yet (full screen from the settings): it will appear centred.
    if (!s_.window) return CentredPlacement();
    // A maximised window's own place is the screen's corner; its normal size goes back to
    // the middle, as a new window does.
    if (SDL_GetWindowFlags(s_.window) & SDL_WINDOW_MAXIMIZED) {
      p = CentredPlacement();
      p.Maximized = true;
      return p;
    }
    SDL_GetWindowPosition(s_.window, &p.X, &p.Y);
    SDL_GetWindowSize(s_.window, &p.Width, &p.Height);
    return p;
  }
  void SetPlacement(const WindowPlacement& p) override {
    // Applied when the window next leaves full screen.
    if (!s_.window || s_.fullScreen)
      s_.pendingPlacement = p;
    else
      SDL_SetWindowPosition(s_.window, p.X, p.Y);
  }
  bool IsMaximized() override {
    return s_.window && (SDL_GetWindowFlags(s_.window) & SDL_WINDOW_MAXIMIZED);
  }
  void SetNormalState() override {
    if (IsMaximized()) SDL_RestoreWindow(s_.window);
  }
  void Destroy() override {
    s_.up = false;
    s_.presenter.reset();
    s_.frameShown = false;
    if (s_.window) SDL_DestroyWindow(s_.window);
    s_.window = nullptr;
  }

 private:
  SdlState& s_;
  std::string caption_;
};

class SdlInput : public IInput {
 public:
  explicit SdlInput(SdlState& s) : s_(s) {}
  bool IsKeyDown(int key) override {
    int count = 0;
    const Uint8* st = SDL_GetKeyboardState(&count);
    return IsVirtualKeyHeld(st, count, key, (SDL_GetModState() & KMOD_NUM) != 0);
  }
  ControllerState Controller() override {
    ControllerState c;
    if (!s_.joystick) return c;
    c.Present = true;
    c.AxisX = SDL_JoystickGetAxis(s_.joystick, 0);
    c.AxisY = SDL_JoystickGetAxis(s_.joystick, 1);
    const int n = SDL_JoystickNumButtons(s_.joystick);
    for (int i = 0; i < n; ++i) c.Buttons.push_back(SDL_JoystickGetButton(s_.joystick, i) != 0);
    return c;
  }
  bool HasFocus() override { return s_.window && SDL_GetKeyboardFocus() == s_.window; }

 private:
  SdlState& s_;
};

// TINOKVAK_DEBUG=1 lets the libraries' own messages through.
bool LibraryDebug() {
  const char* debug = std::getenv("TINOKVAK_DEBUG");
  return debug && std::strcmp(debug, "1") == 0;
}

// While it lives, what the sound libraries print on their own (a line for every device
// they try and fail) goes nowhere; the game's own messages come after it. TINOKVAK_DEBUG=1
// keeps them.
class LibraryNoiseHidden {
 public:
  LibraryNoiseHidden() {
    if (LibraryDebug()) return;
    std::fflush(stderr);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null < 0) return;
    saved_ = ::fcntl(2, F_DUPFD_CLOEXEC, 3);
    if (saved_ >= 0) ::dup2(null, 2);
    ::close(null);
  }
  ~LibraryNoiseHidden() {
    if (saved_ < 0) return;
    std::fflush(stderr);
    ::dup2(saved_, 2);
    ::close(saved_);
  }
  LibraryNoiseHidden(const LibraryNoiseHidden&) = delete;
  LibraryNoiseHidden& operator=(const LibraryNoiseHidden&) = delete;

 private:
  int saved_ = -1;
};

void IgnoreSoundLibraryError(const char*, int, const char*, int, const char*, ...) {}

// The sound library loaded for SDL keeps reporting from SDL's own threads (the device
// watcher) long after the device was opened: its report hook is turned off too, found in
// the library only if it is already loaded.
void HushSoundLibrary() {
  if (LibraryDebug()) return;
  void* lib = ::dlopen("libasound.so.2", RTLD_NOW | RTLD_NOLOAD);
  if (!lib) return;
  using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
  using SetHandler = int (*)(Handler);
  if (auto set = reinterpret_cast<SetHandler>(::dlsym(lib, "snd_lib_error_set_handler")))
    set(&IgnoreSoundLibraryError);
  ::dlclose(lib);
}

// Pulls the mixer from SDL's audio thread; without a device a thread of ours pulls it at
// the same pace into nothing, so the game runs silently with the mixer still advancing.
class SdlAudio : public IAudioOutput {
 public:
  ~SdlAudio() override { Close(); }
  bool Open(Pull pull, int& rate) override {
    Close();
    pull_ = std::move(pull);
    std::string failure;
    bool started = false;
    {
      LibraryNoiseHidden quiet;
      started = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
      HushSoundLibrary();
      if (!started) failure = SDL_GetError();
    }
    if (started) {
      SDL_AudioSpec want{}, have{};
      want.freq = 44100;
      want.format = AUDIO_S16SYS;
      want.channels = 2;
      want.samples = 512;  // about 12 ms a period
      want.callback = &SdlAudio::Callback;
      want.userdata = this;
      {
        LibraryNoiseHidden quiet;
        dev_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
        if (dev_ == 0) failure = SDL_GetError();
      }
      if (dev_ != 0) {
        rate = have.freq;
        SDL_PauseAudioDevice(dev_, 0);
        open_ = true;
        return true;
      }
    }
    if (failure.empty()) failure = "none found";
    std::fprintf(stderr, "No sound device (%s); playing silently.\n", failure.c_str());
    rate = 44100;
    running_ = true;
    null_ = std::thread([this, r = rate] { NullLoop(r); });
    open_ = true;
    return true;
  }
  void Close() override {
    if (dev_) {
      SDL_CloseAudioDevice(dev_);
      dev_ = 0;
    }
    if (null_.joinable()) {
      running_ = false;
      null_.join();
    }
    open_ = false;
  }
  bool IsOpen() override { return open_; }

 private:
  static void Callback(void* user, Uint8* stream, int len) {
    auto* self = static_cast<SdlAudio*>(user);
    self->pull_(reinterpret_cast<int16_t*>(stream), len / 4);
  }
  void NullLoop(int rate) {
    std::vector<int16_t> buf(2 * 1024);
    auto last = std::chrono::steady_clock::now();
    double owed = 0;
    while (running_) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      const auto now = std::chrono::steady_clock::now();
      owed += std::chrono::duration<double>(now - last).count() * rate;
      last = now;
      while (owed >= 1) {
        const int n = static_cast<int>(std::min(owed, 1024.0));
        pull_(buf.data(), n);
        owed -= n;
      }
    }
  }
  Pull pull_;
  SDL_AudioDeviceID dev_ = 0;
  std::thread null_;
  std::atomic<bool> running_{false};
  bool open_ = false;
};

void SpawnArgv(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid;
  if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0)
    std::fprintf(stderr, "Cannot start %s\n", argv[0].c_str());
}

class SdlShell : public IShell {
 public:
  explicit SdlShell(SdlState& s) : s_(s) {}
  void Open(const std::string& target) override {
    std::string what = target;
    // A desktop opener cannot open a Windows Internet shortcut: open its address instead.
    std::error_code ec;
    const std::filesystem::path p(target);
    if (std::filesystem::is_regular_file(p, ec)) {
      std::string ext = p.extension().string();
      for (auto& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (ext == ".url") {
        std::ifstream in(p, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        const std::string url = ReadInternetShortcutUrl(ss.str());
        if (url.empty()) return;
        what = url;
      }
    }
    SpawnArgv({"xdg-open", what});
  }
  void Spawn(const std::string& program, const std::vector<std::string>& args) override {
    std::vector<std::string> v{program};
    v.insert(v.end(), args.begin(), args.end());
    SpawnArgv(v);
  }
  void MessageBox(const std::string& text, const std::string& caption,
                  MessageStyle style) override {
    const std::string t = Cp1251ToUtf8(text), c = Cp1251ToUtf8(caption);
    std::fprintf(stderr, "%s: %s\n", c.c_str(), t.c_str());
    SDL_ShowSimpleMessageBox(
        style == MessageStyle::Error ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION,
        c.c_str(), t.c_str(), s_.window);
  }

 private:
  SdlState& s_;
};

class SdlEvents : public IEventSource {
 public:
  explicit SdlEvents(SdlState& s) : s_(s) {}
  void Pump(IEventSink& sink, uint32_t timeoutMs) override {
    SDL_Event e;
    if (!SDL_WaitEventTimeout(&e, static_cast<int>(timeoutMs))) return;
    do Dispatch(sink, e);
    while (SDL_PollEvent(&e));
  }

 private:
  static MouseButton ButtonOf(uint8_t b) {
    return b == SDL_BUTTON_RIGHT ? MouseButton::Right
           : b == SDL_BUTTON_MIDDLE ? MouseButton::Middle
                                    : MouseButton::Left;
  }
  std::pair<int, int> FramePoint(int x, int y) {
    if (s_.presenter) s_.presenter->MapMouse(x, y);
    return {x, y};
  }
  void Dispatch(IEventSink& sink, const SDL_Event& e) {
    switch (e.type) {
      case SDL_KEYDOWN: {
        const int k = VirtualKeyOf(e.key.keysym.scancode, (e.key.keysym.mod & KMOD_NUM) != 0);
        if (k) sink.OnKeyDown(k, ModsOf(e.key.keysym.mod));
        break;
      }
      case SDL_KEYUP: {
        const int k = VirtualKeyOf(e.key.keysym.scancode, (e.key.keysym.mod & KMOD_NUM) != 0);
        sink.OnKeyUp(k, ModsOf(e.key.keysym.mod));
        break;
      }
      case SDL_TEXTINPUT:
        for (char c : Utf8ToCp1251(e.text.text)) sink.OnChar(static_cast<uint8_t>(c));
        break;
      case SDL_MOUSEMOTION: {
        auto [x, y] = FramePoint(e.motion.x, e.motion.y);
        sink.OnMouseMove(x, y);
        break;
      }
      case SDL_MOUSEBUTTONDOWN: {
        auto [x, y] = FramePoint(e.button.x, e.button.y);
        sink.OnMouseDown(ButtonOf(e.button.button), x, y);
        break;
      }
      case SDL_MOUSEBUTTONUP: {
        auto [x, y] = FramePoint(e.button.x, e.button.y);
        sink.OnMouseUp(ButtonOf(e.button.button), x, y);
        break;
      }
      case SDL_QUIT: sink.OnCloseRequest(); break;
      case SDL_JOYDEVICEADDED:
        if (!s_.joystick) s_.joystick = SDL_JoystickOpen(e.jdevice.which);
        break;
      case SDL_JOYDEVICEREMOVED:
        if (s_.joystick && SDL_JoystickInstanceID(s_.joystick) == e.jdevice.which) {
          SDL_JoystickClose(s_.joystick);
          s_.joystick = nullptr;
        }
        break;
      case SDL_WINDOWEVENT:
        switch (e.window.event) {
          case SDL_WINDOWEVENT_CLOSE: sink.OnCloseRequest(); break;
          case SDL_WINDOWEVENT_FOCUS_GAINED: sink.OnActivate(true); break;
          case SDL_WINDOWEVENT_FOCUS_LOST: sink.OnActivate(false); break;
          case SDL_WINDOWEVENT_MAXIMIZED: sink.OnResize(); break;
          default: break;
        }
        switch (e.window.event) {
          case SDL_WINDOWEVENT_EXPOSED:
          case SDL_WINDOWEVENT_SIZE_CHANGED:
          case SDL_WINDOWEVENT_SHOWN:
          case SDL_WINDOWEVENT_RESTORED:
            // What the window showed is gone or must be scaled again: the next frame is
            // presented even when it did not change.
            s_.frameShown = false;
            if (s_.presenter) s_.presenter->Invalidate();
            break;
          default: break;
        }
        break;
      default: break;
    }
  }
  SdlState& s_;
};

// Owns SDL's initialisation for the platform's lifetime.
struct SdlPlatform : Platform {
  explicit SdlPlatform(WindowIcon icon) {
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
    StartSdlVideo();
    if (const char* driver = SDL_GetCurrentVideoDriver(); driver && std::string(driver) == "x11")
      PassOverGoneWindowErrors();
    state.icon = icon;
    SDL_InitSubSystem(SDL_INIT_JOYSTICK);
    signal(SIGCHLD, SIG_IGN);  // programs we start are never waited for
    Clock = std::make_unique<SdlClock>();
    Display = std::make_unique<SdlDisplay>(state);
    Input = std::make_unique<SdlInput>(state);
    Audio = std::make_unique<SdlAudio>();
    Shell = std::make_unique<SdlShell>(state);
    Http = MakeCurlHttpRequests();
    Text = MakeTtfTextRenderer();
    Events = std::make_unique<SdlEvents>(state);
  }
  ~SdlPlatform() {
    Audio.reset();
    Display.reset();
    Text.reset();
    for (auto* c : state.cursors)
      if (c) SDL_FreeCursor(c);
    if (state.joystick) SDL_JoystickClose(state.joystick);
    SDL_Quit();
  }
  SdlState state;
};

}  // namespace

std::unique_ptr<Platform> MakeSdlPlatform(WindowIcon icon) {
  return std::make_unique<SdlPlatform>(icon);
}

}  // namespace tk::platform
