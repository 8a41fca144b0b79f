// Playback in the window: the game runs from the journal on a clock of its own that
// follows the wall clock (four times as fast while the right arrow is held, standing
// still while paused); the viewer's own keys and mouse never reach the game.
#include "Watch.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

#include "assembly/Assembly.h"
#include "platform/Cp1251.h"
#include "platform/Text.h"
#include "shell/Replay.h"

namespace tk {

namespace {

using namespace platform;

// The game's time: where the replay has got to.
class ReplayClock : public IClock {
 public:
  uint64_t NowMs() override { return Now; }
  void Sleep(uint32_t) override {}  // the recorded times already hold the wait
  uint64_t Now = 0;
};

// What the viewer marks over the picture besides "Повтор".
enum class ViewerMark { Playing, Paused, Ended };

// The real window, with a caption that says what is shown. The viewer's marks are drawn on
// a copy of each finished frame on its way to the window, so the game never sees them.
class ReplayDisplay : public IDisplay {
 public:
  explicit ReplayDisplay(IDisplay& d) : d_(d) {}
  void SetText(ITextRenderer* text) { text_ = text; }
  // Shows the last frame again when the mark changes (a paused or ended replay draws no
  // frames of its own).
  void SetMark(ViewerMark m) {
    if (m == mark_) return;
    mark_ = m;
    if (!frame_.empty()) PresentMarked();
  }
  bool Initialize(bool fullScreen) override { return d_.Initialize(fullScreen); }
  void Finalize() override { d_.Finalize(); }
  // Every tick in the journal ran with a window it could draw on; the viewer's own window
  // (still being mapped, or minimised) must not drop or freeze any of them.
  bool CanDraw() override { return true; }
  void Present(const uint32_t* p, int w, int h) override {
    frame_.assign(p, p + static_cast<size_t>(w) * h);
    w_ = w;
    h_ = h;
    PresentMarked();
  }
  void Show() override { d_.Show(); }
  void SetCaption(const std::string& c) override { d_.SetCaption(c + Cp(" — повтор")); }
  void SetCursor(Cursor) override {}  // the viewer's pointer stays as it is
  WindowPlacement GetPlacement() override { return d_.GetPlacement(); }
  void SetPlacement(const WindowPlacement& p) override { d_.SetPlacement(p); }
  bool IsMaximized() override { return d_.IsMaximized(); }
  void SetNormalState() override { d_.SetNormalState(); }
  void Destroy() override { d_.Destroy(); }

 private:
  void PresentMarked() {
    if (!d_.CanDraw()) return;
    shown_ = frame_;
    DrawMarks(shown_.data(), w_, h_);
    d_.Present(shown_.data(), w_, h_);
  }

  // Darkens a rectangle so the marks read on any part of the pond.
  static void Shade(uint32_t* px, int w, int h, int x0, int y0, int x1, int y1) {
    for (int y = std::max(0, y0); y < std::min(h, y1); ++y)
      for (int x = std::max(0, x0); x < std::min(w, x1); ++x)
        px[static_cast<size_t>(y) * w + x] = (px[static_cast<size_t>(y) * w + x] >> 1) & 0x7F7F7F;
  }
  static void Fill(uint32_t* px, int w, int h, int x0, int y0, int x1, int y1, uint32_t c) {
    for (int y = std::max(0, y0); y < std::min(h, y1); ++y)
      for (int x = std::max(0, x0); x < std::min(w, x1); ++x) px[static_cast<size_t>(y) * w + x] = c;
  }
  void Label(uint32_t* px, int w, int h, int x, int y, const std::string& text1251,
             const TextStyle& style) {
    TextStyle shadow = style;
    shadow.Color = 0x000000;
    text_->Draw(px, w, h, w, x + 1, y + 1, text1251, shadow);
    text_->Draw(px, w, h, w, x, y, text1251, style);
  }

  void DrawMarks(uint32_t* px, int w, int h) {
    TextStyle style;
    style.PointSize = 14;
    style.Color = 0xFFFFFF;
    if (text_) {
      const std::string label = Cp("Повтор");
      const int lw = text_->Width(label, style), lh = text_->Height(label, style);
      Shade(px, w, h, 4, h - lh - 10, lw + 16, h - 4);
      Label(px, w, h, 10, h - lh - 7, label, style);
    }
    if (mark_ == ViewerMark::Paused) {  // two bars in the top right corner
      Shade(px, w, h, w - 46, 8, w - 10, 44);
      Fill(px, w, h, w - 38, 14, w - 30, 38, 0xFFFFFF);
      Fill(px, w, h, w - 26, 14, w - 18, 38, 0xFFFFFF);
    }
    if (mark_ == ViewerMark::Ended && text_) {
      style.PointSize = 20;
      const std::string end = Cp("Конец повтора — Esc");
      const int ew = text_->Width(end, style), eh = text_->Height(end, style);
      const int x = (w - ew) / 2, y = h * 3 / 4 - eh / 2;  // below the game's own end title
      Shade(px, w, h, x - 16, y - 10, x + ew + 16, y + eh + 10);
      Label(px, w, h, x, y, end, style);
    }
  }

  IDisplay& d_;
  ITextRenderer* text_ = nullptr;
  ViewerMark mark_ = ViewerMark::Playing;
  std::vector<uint32_t> frame_, shown_;
  int w_ = 0, h_ = 0;
};

class NoInput : public IInput {
 public:
  bool IsKeyDown(int) override { return false; }
  ControllerState Controller() override { return {}; }
  bool HasFocus() override { return true; }
};

// A replay opens nothing, starts nothing and sends nothing; what the game would have said
// in a message box goes to stderr.
class QuietShell : public IShell {
 public:
  void Open(const std::string&) override {}
  void Spawn(const std::string&, const std::vector<std::string>&) override {}
  void MessageBox(const std::string& text, const std::string& caption, MessageStyle) override {
    std::fprintf(stderr, "%s: %s\n", Cp1251ToUtf8(caption).c_str(), Cp1251ToUtf8(text).c_str());
  }
};

// The viewer's keys: Space pauses, the right arrow runs at four times while held, Esc or
// the window's close button leaves.
class ViewerKeys : public IEventSink {
 public:
  void OnKeyDown(int key, KeyMods) override {
    if (key == vk::Space) Paused = !Paused;
    if (key == vk::Right) Fast = true;
    if (key == vk::Esc) Leave = true;
  }
  void OnKeyUp(int key, KeyMods) override {
    if (key == vk::Right) Fast = false;
  }
  void OnChar(uint8_t) override {}
  void OnMouseMove(int, int) override {}
  void OnMouseDown(MouseButton, int, int) override {}
  void OnMouseUp(MouseButton, int, int) override {}
  void OnCloseRequest() override { Leave = true; }
  void OnActivate(bool) override {}
  void OnResize() override {}
  bool Paused = false, Fast = false, Leave = false;
};

}  // namespace

int WatchReplay(Platform& sdl, const std::string& file) {
  replay::TReplay r;
  try {
    r = ReadReplayForThisGame(file);
  } catch (const replay::EReplayError& e) {
    std::fprintf(stderr, "%s: %s\n", file.c_str(), e.what());
    return 2;
  }
  Platform p;
  auto clock = std::make_unique<ReplayClock>();
  ReplayClock& gameClock = *clock;
  gameClock.Now = r.StartClock;
  p.Clock = std::move(clock);
  auto display = std::make_unique<ReplayDisplay>(*sdl.Display);
  ReplayDisplay& viewer = *display;
  p.Display = std::move(display);
  p.Input = std::make_unique<NoInput>();
  p.Audio = std::move(sdl.Audio);
  p.Shell = std::make_unique<QuietShell>();
  // No HTTP client: what the network said comes from the journal, and nothing connects.
  p.Text = std::move(sdl.Text);
  viewer.SetText(p.Text.get());
  TMainFormOptions options;
  options.ScoreServer = DefaultScoreServer();
  auto form = CreateGame(p, options);
  form->Replaying = true;
  form->Hooks.SaveSettings = nullptr;  // a replay never writes the player's settings
  if (!StartGame(*form)) return 1;
  TReplayPlayer player(*form, r);
  player.Setup();

  ViewerKeys keys;
  IClock& wall = *sdl.Clock;
  uint64_t last = wall.NowMs();
  uint64_t at = r.StartClock;  // the replay's time
  while (!keys.Leave && !form->Closed()) {
    sdl.Events->Pump(keys, 5);
    const uint64_t now = wall.NowMs();
    if (!keys.Paused) at += (now - last) * (keys.Fast ? 4 : 1);
    last = now;
    // Nothing ran for more than a second only while the recorded window was minimised:
    // the replay skips that wait.
    if (!keys.Paused && !player.Done() && player.NextClock() > at + 1000)
      at = player.NextClock();
    // Entries due by now; a tick that another tick follows in the same batch is not drawn,
    // so a fast replay keeps up with the wall clock.
    size_t lastTick = SIZE_MAX;
    for (size_t i = player.Position();
         i < r.Entries.size() && r.StartClock + r.Entries[i].Time <= at; ++i)
      if (r.Entries[i].Type == replay::TEntry::Tick) lastTick = i;
    while (!player.Done() && player.NextClock() <= at && !form->Closed()) {
      const bool isTick = player.Next().Type == replay::TEntry::Tick;
      form->SetComposing(!isTick || player.Position() == lastTick);
      gameClock.Now = player.NextClock();
      player.Step();
    }
    form->SetComposing(true);
    // The last picture stays, marked as the end, until the viewer leaves.
    viewer.SetMark(player.Done() ? ViewerMark::Ended
                   : keys.Paused ? ViewerMark::Paused
                                 : ViewerMark::Playing);
  }
  std::printf("replay: score %d, level %d, lives %d (recorded: score %d, level %d, lives %d)\n",
              form->Score, form->Level, form->Lives, r.Trailer.Score, r.Trailer.Level,
              r.Trailer.Lives);
  form.reset();
  return 0;
}

}  // namespace tk
