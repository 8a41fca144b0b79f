// Both ways of putting a frame in the real window give the same picture: the renderer's
// texture copy and the window surface with our scaler. Each test runs its own X server
// (no GPU there, so the renderer is the software one) and reads the window back from it.
// gtest and ours first: the X headers define macros (None, Bool, Status) that clash
// with names there.
#include <gtest/gtest.h>

#include "platform/FrameScaler.h"
#include "platform/Platform.h"
#include "platform/Text.h"
#include "platform/sdl/SdlPlatform.h"
// clang-format off
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
// clang-format on
#include <dlfcn.h>
#include <link.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace tk::platform {
namespace {

// One X server for the test program at 1280 x 720, so the full-screen frame is letterboxed at a
// ratio that is not whole (1.2).
class Xvfb {
 public:
  Xvfb() {
    // Several servers start at once on a shared machine and one may lose a race for its
    // display or its keymap: try again.
    for (int attempt = 0; attempt < 5 && display_.empty(); ++attempt) Start();
  }
  void Start() {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      // The game's platform ignores SIGCHLD; the server must be able to wait for its
      // keymap compiler.
      signal(SIGCHLD, SIG_DFL);
      prctl(PR_SET_PDEATHSIG, SIGTERM);  // no server left behind by a crashed test
      close(fds[0]);
      const std::string fd = std::to_string(fds[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x720x24",
             "-nolisten", "tcp", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    // The number and its newline come in two writes; closing before the second would
    // kill the server.
    std::string got;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') got += c;
    close(fds[0]);
    if (!got.empty()) {
      display_ = ":" + got;
    } else if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
      usleep(200000);
    }
  }
  ~Xvfb() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  const std::string& Display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

struct MouseSink : IEventSink {
  void OnKeyDown(int, KeyMods) override {}
  void OnKeyUp(int, KeyMods) override {}
  void OnChar(uint8_t) override {}
  void OnMouseMove(int x, int y) override {
    X = x;
    Y = y;
    ++Moves;
  }
  void OnMouseDown(MouseButton, int, int) override {}
  void OnMouseUp(MouseButton, int, int) override {}
  void OnCloseRequest() override {}
  void OnActivate(bool) override {}
  void OnResize() override {}
  int X = -1, Y = -1, Moves = 0;
};

// A frame of flat 10 x 10 blocks with a fine pattern in one corner: the blocks show
// where pixels land, the pattern shows the filtering.
std::vector<uint32_t> TestFrame() {
  std::vector<uint32_t> f(800 * 600);
  for (int y = 0; y < 600; ++y)
    for (int x = 0; x < 800; ++x) {
      const uint32_t b = static_cast<uint32_t>((x / 10) * 7 + (y / 10) * 131);
      f[y * 800 + x] = (x < 40 && y < 40) ? ((x + y) % 2 ? 0xFFFFFF : 0x000000)
                                          : ((b * 2654435761u) >> 8) & 0xFFFFFF;
    }
  return f;
}

class Present : public testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    // Shared by the tests: a server that went away under a connection would end the
    // program.
    static Xvfb server;
    if (server.Display().empty()) GTEST_SKIP() << "Xvfb did not start";
    setenv("DISPLAY", server.Display().c_str(), 1);
    setenv("TINOKVAK_PRESENT", GetParam(), 1);
    plat_ = MakeSdlPlatform();
    plat_->Display->Show();
    ASSERT_TRUE(plat_->Display->Initialize(false));
    for (uint32_t id = 1; id < 16 && !window_; ++id) window_ = SDL_GetWindowFromID(id);
    ASSERT_NE(window_, nullptr);
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    ASSERT_TRUE(SDL_GetWindowWMInfo(window_, &info));
    x_ = info.info.x11.display;
    PinLoadedLibraries();
    xwin_ = info.info.x11.window;
    Pump(300);
  }
  // The OpenGL libraries the renderer loads keep allocations for the process's life and
  // are unloaded when SDL shuts down; kept loaded, the leak checker can still see them.
  static void PinLoadedLibraries() {
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void*) {
          if (info->dlpi_name && *info->dlpi_name) dlopen(info->dlpi_name, RTLD_NOW | RTLD_NOLOAD);
          return 0;
        },
        nullptr);
  }
  void TearDown() override {
    plat_.reset();
    unsetenv("TINOKVAK_PRESENT");
  }
  void Pump(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) plat_->Events->Pump(sink_, 10);
  }
  // Waits for the window to take a size.
  bool WaitForSize(int w, int h) {
    for (int i = 0; i < 200; ++i) {
      int ww = 0, wh = 0;
      SDL_GetWindowSize(window_, &ww, &wh);
      if (ww == w && wh == h) return true;
      Pump(20);
    }
    return false;
  }
  // The window's pixels as the X server holds them.
  std::vector<uint32_t> ReadBack(int& w, int& h) {
    XSync(x_, False);
    XWindowAttributes a;
    XGetWindowAttributes(x_, xwin_, &a);
    w = a.width;
    h = a.height;
    XImage* im = XGetImage(x_, xwin_, 0, 0, w, h, AllPlanes, ZPixmap);
    std::vector<uint32_t> px(static_cast<size_t>(w) * h);
    if (!im) return {};
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) px[y * w + x] = XGetPixel(im, x, y) & 0xFFFFFF;
    XDestroyImage(im);
    return px;
  }
  void Show(const std::vector<uint32_t>& f) {
    plat_->Display->Present(f.data(), 800, 600);
    Pump(100);
  }

  std::unique_ptr<Platform> plat_;
  SDL_Window* window_ = nullptr;
  ::Display* x_ = nullptr;
  Window xwin_ = 0;
  MouseSink sink_;
};

TEST_P(Present, AtOneToOneTheWindowShowsTheFrameExactly) {
  const auto frame = TestFrame();
  Show(frame);
  int w = 0, h = 0;
  const auto got = ReadBack(w, h);
  ASSERT_EQ(w, 800);
  ASSERT_EQ(h, 600);
  int wrong = 0;
  for (size_t i = 0; i < got.size(); ++i) wrong += got[i] != frame[i];
  EXPECT_EQ(wrong, 0);
  EXPECT_TRUE(plat_->Display->ShowsLastFrame());
}

// The window the size of the screen, as full screen makes it (without a window manager
// the X server leaves a full-screen window at its size, so the test sizes it itself).
TEST_P(Present, ALargerWindowLetterboxesTheScaledFrameAndMapsThePointer) {
  const auto frame = TestFrame();
  Show(frame);
  SDL_SetWindowPosition(window_, 0, 0);
  SDL_SetWindowSize(window_, 1280, 720);
  ASSERT_TRUE(WaitForSize(1280, 720));
  Pump(200);
  EXPECT_FALSE(plat_->Display->ShowsLastFrame());  // resized: the frame must come again
  Show(frame);
  int w = 0, h = 0;
  const auto got = ReadBack(w, h);
  ASSERT_EQ(w, 1280);
  ASSERT_EQ(h, 720);
  // What our scaler makes of the frame, in the letterbox.
  const Letterbox box = FitLetterbox(1280, 720, 800, 600);
  std::vector<uint32_t> want(1280 * 720, 0);
  FrameScaler s;
  s.Scale(frame.data(), 800, 600, want.data() + box.Y * 1280 + box.X, 1280, box.W, box.H);
  const bool ours = std::string(GetParam()) == "surface";
  int wrong = 0, compared = 0;
  for (int y = 1; y < 719; ++y)
    for (int x = 1; x < 1279; ++x) {
      const uint32_t p = want[y * 1280 + x];
      if (!ours) {
        // The renderer filters its own way: compare where the picture is flat around
        // the pixel, and on the bars away from the picture's edge.
        bool flat = true;
        for (int dy = -1; dy <= 1 && flat; ++dy)
          for (int dx = -1; dx <= 1 && flat; ++dx) flat = want[(y + dy) * 1280 + x + dx] == p;
        const bool nearEdge = std::abs(x - box.X) < 3 || std::abs(x - (box.X + box.W)) < 3;
        if (!flat || nearEdge) continue;
      }
      ++compared;
      const uint32_t g = got[y * 1280 + x];
      bool same = true;
      for (int c = 0; c < 24; c += 8)
        same = same && std::abs(static_cast<int>((g >> c) & 0xFF) - static_cast<int>((p >> c) & 0xFF)) <= (ours ? 0 : 2);
      wrong += !same;
    }
  EXPECT_GT(compared, 1280 * 720 / 2);
  EXPECT_EQ(wrong, 0) << "of " << compared;

  // A pointer on the picture arrives in frame pixels, on either path.
  XWarpPointer(x_, None, DefaultRootWindow(x_), 0, 0, 0, 0, box.X + 600, 360);
  XSync(x_, False);
  Pump(200);
  EXPECT_NEAR(sink_.X, 500, 1);
  EXPECT_NEAR(sink_.Y, 300, 1);
}

TEST_P(Present, AModeSwitchOrAnExposeAsksForTheFrameAgain) {
  Show(TestFrame());
  ASSERT_TRUE(plat_->Display->ShowsLastFrame());
  ASSERT_TRUE(plat_->Display->Initialize(true));
  EXPECT_FALSE(plat_->Display->ShowsLastFrame());
  ASSERT_TRUE(plat_->Display->Initialize(false));
  Pump(200);
  Show(TestFrame());
  ASSERT_TRUE(plat_->Display->ShowsLastFrame());
  // Another window over ours and gone again: what was under it must be drawn anew.
  Window cover = XCreateSimpleWindow(x_, DefaultRootWindow(x_), 0, 0, 1280, 720, 0, 0, 0);
  XMapRaised(x_, cover);
  XSync(x_, False);
  Pump(100);
  XDestroyWindow(x_, cover);
  XSync(x_, False);
  Pump(200);
  EXPECT_FALSE(plat_->Display->ShowsLastFrame());
}

// An X error about a window that is already gone (a wake-up sent to the window while it
// was being destroyed as the game closed) must not end the game; Xlib's own handler would
// end it with status 1 on a normal quit.
TEST_P(Present, AnErrorForAWindowAlreadyGoneDoesNotEndTheGame) {
  Window gone = XCreateSimpleWindow(x_, DefaultRootWindow(x_), 0, 0, 10, 10, 0, 0, 0);
  XSync(x_, False);
  XDestroyWindow(x_, gone);
  XSync(x_, False);
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = gone;
  e.xclient.format = 32;
  XSendEvent(x_, gone, False, NoEventMask, &e);
  XSync(x_, False);  // the error arrives here; the default handler would exit
  Pump(50);
  Show(TestFrame());
  EXPECT_TRUE(plat_->Display->ShowsLastFrame());
}

INSTANTIATE_TEST_SUITE_P(BothPaths, Present, testing::Values("surface", "gpu"),
                         [](const auto& i) { return std::string(i.param); });

}  // namespace
}  // namespace tk::platform
