// The browser's platform: the 800 x 600 frame in the page's <canvas>, letterboxed in the
// browser's window by the window's rules, the keyboard, the mouse and touch as the mouse,
// the page's focus and visibility as the window's activity, the browser's full screen, a
// game controller through the page's gamepad, and the clock the page's loop runs the
// game's timers on.
//
// Nothing here blocks: the browser's events are queued by its handlers and handed to the
// game by Pump, and a blocking wait of the game (the play ticks' short pauses) holds the
// clock instead: from then on the clock reads the wait's end until real time has caught
// up, and the page's loop delivers nothing meanwhile (HeldMs), as the desktop's window
// takes no event while the game sleeps.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/FrameScaler.h"
#include "platform/Platform.h"

namespace tk::platform {

// One event for the game, from the browser or from the page's test script.
struct WebEvent {
  enum Kind { KeyDown, KeyUp, Char, MouseMove, MouseDown, MouseUp, Activate, Resize, Close };
  Kind Type;
  int Key = 0;
  std::string Code;  // the physical key of KeyDown and KeyUp (two keys may mean one Key)
  KeyMods Mods;
  uint8_t Ch = 0;
  int X = 0, Y = 0;
  MouseButton Button = MouseButton::Left;
  bool Active = true;
};

// What the game asked of the page, for the page's tests (the state line reads it).
struct WebRecord {
  std::vector<std::string> Messages;  // message box texts (1251)
  std::vector<std::string> Opened;    // targets handed to the opener
  uint64_t Ticks = 0;                 // frame ticks run
  bool FullScreen = false;            // the display is up in full screen
};

class WebPlatform : public Platform {
 public:
  // Listens to the page's window and draws into the canvas with the given CSS selector;
  // the text is drawn from the glyph tables in dataDir (glyphs.tkg). Throws
  // std::runtime_error when they cannot be read.
  WebPlatform(const std::string& dataDir, std::string canvasSelector = "#screen");
  ~WebPlatform() override;

  // ---- The clock
  // The page's test mode: the clock starts at 0 and moves only by AdvanceTo (and by the
  // game's blocking waits), and the browser's own input is not listened to.
  void UseVirtualClock();
  bool VirtualClock() const { return virtual_; }
  void AdvanceTo(uint64_t t);
  uint64_t Now();
  // Milliseconds a blocking wait of the game still holds it; 0 when none does.
  uint32_t HeldMs();

  // ---- Events
  // Queued for the next Pump; called by the browser's handlers and the test script.
  void Push(const WebEvent& e);
  bool HasPendingEvents() const { return !events_.empty(); }
  // Called after the browser's handlers queued something: the page's loop steps the game
  // now, inside the handler, so what only a user's gesture may do (full screen) works.
  std::function<void()> OnInput;

  // The test script's window states: maximised (the next tick switches to full screen)
  // and minimised (nothing is drawn).
  void SetMaximized(bool on);
  void SetMinimized(bool on);

  WebRecord& Record() { return record_; }
  // The keys held now: physical key -> its virtual key.
  const std::map<std::string, int>& HeldKeys() const { return held_; }
  // The last presented frame as RGBA bytes, 800 x 600 (empty before the first).
  const std::vector<uint8_t>& LastFrame() const { return rgba_; }

  // ---- For the browser's handlers (WebPlatform.cpp)
  struct State;
  State& Internal() { return *state_; }

 private:
  friend class WebEventSource;
  friend class WebClock;
  friend class WebInput;
  std::unique_ptr<State> state_;
  std::deque<WebEvent> events_;
  std::map<std::string, int> held_;  // physical key (code) -> its virtual key
  WebRecord record_;
  std::vector<uint8_t> rgba_;
  bool virtual_ = false;
  uint64_t virtualNow_ = 0;
  double origin_ = 0;       // the real clock's reading at the start
  uint64_t heldUntil_ = 0;  // the end of the game's last blocking wait
};


}  // namespace tk::platform
