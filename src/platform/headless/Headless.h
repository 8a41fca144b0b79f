// The headless platform: a virtual clock, scripted input and a record of everything the
// game asks of the desktop. Tests and tinokvak-sim drive it.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace tk::platform {

class HeadlessAudio;

// Everything the game asked for, so a script or a test can look at it.
struct HeadlessRecord {
  std::string Caption;  // Windows-1251
  Cursor CurrentCursor = Cursor::Arrow;
  std::vector<std::string> Opened;  // targets handed to the desktop's opener
  std::vector<std::vector<std::string>> Spawned;  // program then arguments
  std::vector<std::string> Messages;  // message box texts (1251)
  bool DisplayUp = false, FullScreen = false, Shown = false, Destroyed = false;
  bool Maximized = false;
  bool Minimized = false;  // nothing can be drawn while minimised
  WindowPlacement Placement{112, 84, 800, 600, false};
  int Presents = 0;
  std::vector<uint32_t> Front;  // the last presented frame
  // The rows the last present sent: all of them, or the band that changed.
  int PresentedFirstRow = 0, PresentedEndRow = 0;
  // A display that keeps its picture between frames, as a real window does, so unchanged
  // frames are skipped; FrameLost stands for an expose or a resize until the next present.
  bool KeepsFrame = false, FrameLost = false;
};

// One scripted event.
struct HeadlessEvent {
  enum Kind { KeyDown, KeyUp, Char, MouseMove, MouseDown, MouseUp, Close, Activate, Resize };
  Kind Type;
  int Key = 0;
  KeyMods Mods;
  uint8_t Ch = 0;
  int X = 0, Y = 0;
  MouseButton Button = MouseButton::Left;
  bool Active = true;
};

// The text renderer and the requests a headless platform has unless told otherwise: the
// desktop's fonts and HTTP (HeadlessDesktop.cpp), or the glyph tables and no network of
// the browser's build (web/HeadlessWeb.cpp).
std::unique_ptr<ITextRenderer> MakeHeadlessText();
std::unique_ptr<IHttpRequests> MakeHeadlessHttp();

class HeadlessPlatform {
 public:
  // With its build's defaults (MakeHeadlessText, MakeHeadlessHttp): the desktop's in the
  // library tk_platform_headless, the browser build's in its own.
  HeadlessPlatform();
  // With the given ones (the library tk_platform_headless_core links neither): requests
  // are wrapped in virtual time (MakeVirtualTimeRequests); none connects nowhere.
  HeadlessPlatform(std::unique_ptr<ITextRenderer> text, std::unique_ptr<IHttpRequests> http);
  ~HeadlessPlatform();
  Platform& Get() { return platform_; }

  // Time: the clock starts at 0 and moves only when told (or when the game blocks).
  uint64_t Now() const { return now_; }
  void AdvanceTo(uint64_t t);  // moves the clock forward, rendering audio meanwhile
  // Input.
  void Push(const HeadlessEvent& e) { events_.push_back(e); }
  void SetKeyHeld(int key, bool held);
  bool KeyHeld(int key) const { return held_.count(key) != 0; }
  void SetFocus(bool f) { focus_ = f; }
  bool Focus() const { return focus_; }
  bool HasPendingEvents() const { return !events_.empty(); }
  HeadlessRecord& Record() { return record_; }
  HeadlessAudio& Audio() { return *audio_; }
  // Off for runs that only check a game's outcome: time moves without mixing any sound.
  bool RenderAudio = true;
  // HTTP: a request's result becomes visible to Poll this many virtual ms after its start,
  // and not before, however early the real transfer ended; a Poll at or after that time
  // waits (in real time, the virtual clock standing still) for the transfer to end.
  uint32_t HttpLatencyMs = 0;

 private:
  friend class HeadlessClock;
  friend class HeadlessEvents;
  friend class HeadlessInput;
  Platform platform_;
  uint64_t now_ = 0;
  std::deque<HeadlessEvent> events_;
  std::set<int> held_;
  bool focus_ = true;
  HeadlessRecord record_;
  HeadlessAudio* audio_ = nullptr;
};

// Wraps real requests (by default the desktop's) so that their results show at points of
// the virtual clock fixed by their start times and HttpLatencyMs.
std::unique_ptr<IHttpRequests> MakeVirtualTimeRequests(HeadlessPlatform& plat,
                                                       std::unique_ptr<IHttpRequests> inner);

// Audio output in virtual time: the mixer is pulled as the clock moves.
class HeadlessAudio : public IAudioOutput {
 public:
  bool Open(Pull pull, int& rate) override;
  void Close() override;
  bool IsOpen() override { return open_; }
  void Render(uint64_t ms);  // pulls ms worth of frames
  // Loudest sample and count of non-zero frames since the last Reset.
  int Peak() const { return peak_; }
  uint64_t NonSilentFrames() const { return nonSilent_; }
  uint64_t Frames() const { return frames_; }
  void ResetStats();
  static constexpr int Rate = 44100;
  // Sees every block the mixer fills: interleaved stereo, frames of two samples.
  std::function<void(const int16_t* samples, int frames)> Capture;

 private:
  Pull pull_;
  bool open_ = false;
  uint64_t carry_ = 0;  // frame remainder in thousandths
  int peak_ = 0;
  uint64_t nonSilent_ = 0, frames_ = 0;
  std::vector<int16_t> buf_;
};

// Advances virtual time by ms as the real loop does: pending events first, then every timer
// and frame tick of the game when due, until the target time or until the game closes.
// Game is the main window: the events' sink, with MsUntilNextDue, Idle and Closed.
template <class Game>
void RunFor(HeadlessPlatform& plat, Game& game, uint64_t ms) {
  const uint64_t target = plat.Now() + ms;
  while (!game.Closed()) {
    plat.Get().Events->Pump(game, 0);
    const uint64_t next = plat.Now() + game.MsUntilNextDue();
    if (next > target || game.Closed()) break;
    plat.AdvanceTo(next);
    game.Idle();
  }
  plat.AdvanceTo(target);
}

}  // namespace tk::platform
