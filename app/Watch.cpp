// Playback in the window: the game runs from the journal on a clock of its own that
// follows the wall clock (four times as fast while the right arrow is held, standing
// still while paused); the viewer's own keys and mouse never reach the game.
#include "Watch.h"

#include "ViewerDisplay.h"

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
  // A journal that fires its timers off their schedule is not this game's: it stops there.
  player.CheckTimers = true;
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
  if (!player.Refusal().empty())
    std::fprintf(stderr, "%s: refused: %s\n", file.c_str(), player.Refusal().c_str());
  std::printf("replay: score %d, level %d, lives %d (recorded: score %d, level %d, lives %d)\n",
              form->Score, form->Level, form->Lives, r.Trailer.Score, r.Trailer.Level,
              r.Trailer.Lives);
  form.reset();
  return 0;
}

}  // namespace tk
