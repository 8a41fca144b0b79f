// What the game needs from the outside world. Two implementations: sdl/ (the real
// window, keyboard, audio device) and headless/ (virtual clock and scripted input,
// for tests and tinokvak-sim). Texts crossing this boundary are Windows-1251 bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/HttpRequests.h"

namespace tk::platform {

// Virtual-key codes, as the key tables of the game use them.
namespace vk {
constexpr int Backspace = 8, Tab = 9, Enter = 13, Shift = 16, Ctrl = 17, Alt = 18, Pause = 19,
              Esc = 27, Space = 32, PageUp = 33, PageDown = 34, End = 35, Home = 36,
              Left = 37, Up = 38, Right = 39, Down = 40, Delete = 46;
// Digits are '0'..'9' (48..57), letters 'A'..'Z' (65..90).

// The number pad's keys 1..9, 0 and its point (INDEX 0..10, in that order): the digit or
// point with Num Lock, the movement key without it (the middle key is Clear, 0 Insert).
constexpr int NumberPad(int index, bool numLock) {
  constexpr int withLock[11] = {0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x60, 0x6E};
  constexpr int without[11] = {End, Down, PageDown, Left, 0x0C, Right, Home, Up, PageUp, 0x2D, Delete};
  return numLock ? withLock[index] : without[index];
}
}  // namespace vk

struct KeyMods {
  bool Alt = false;
  bool Ctrl = false;
  bool Shift = false;
};

enum class MouseButton { Left, Right, Middle };
enum class Cursor { Arrow, Hand, IBeam, Hidden };

// Position and size of the window on the desktop, saved before going full screen.
struct WindowPlacement {
  int X = 0, Y = 0, Width = 800, Height = 600;
  bool Maximized = false;
};

// A game controller's state: stick in -32768..32767, buttons numbered from 1.
struct ControllerState {
  bool Present = false;
  int AxisX = 0, AxisY = 0;
  std::vector<bool> Buttons;  // index 0 is button 1
};

// Receives the events the platform collects; the main window implements it.
class IEventSink {
 public:
  virtual ~IEventSink() = default;
  virtual void OnKeyDown(int key, KeyMods mods) = 0;
  virtual void OnKeyUp(int key, KeyMods mods) = 0;
  virtual void OnChar(uint8_t ch1251) = 0;  // typed text, one Windows-1251 character
  virtual void OnMouseMove(int x, int y) = 0;  // surface pixels
  virtual void OnMouseDown(MouseButton b, int x, int y) = 0;
  virtual void OnMouseUp(MouseButton b, int x, int y) = 0;
  virtual void OnCloseRequest() = 0;  // the window's close button
  virtual void OnActivate(bool active) = 0;  // the application gained or lost the foreground
  virtual void OnResize() = 0;  // window state changed (maximise)
};

class IClock {
 public:
  virtual ~IClock() = default;
  virtual uint64_t NowMs() = 0;
  // Blocks the game thread (the play ticks' short waits). Virtual time moves instead in headless.
  virtual void Sleep(uint32_t ms) = 0;
};

// The window and its 800 x 600 picture.
class IDisplay {
 public:
  virtual ~IDisplay() = default;
  // Brings the presentation up in full screen (desktop mode) or in a window.
  virtual bool Initialize(bool fullScreen) = 0;
  virtual void Finalize() = 0;
  virtual bool CanDraw() = 0;
  // Shows a finished frame of 32-bit XRGB pixels, waiting for the vertical blank.
  virtual void Present(const uint32_t* pixels, int width, int height) = 0;
  // The same for a frame whose rows [firstRow, endRow) are the only ones that differ from
  // the frame presented last, which the window still shows: a display may send only those.
  virtual void PresentRows(const uint32_t* pixels, int width, int height, int firstRow,
                           int endRow) {
    (void)firstRow;
    (void)endRow;
    Present(pixels, width, height);
  }
  // True while the window still shows the last frame presented, so an identical frame need
  // not be presented again; an expose, a resize or a mode switch makes it false.
  virtual bool ShowsLastFrame() { return false; }
  // Called once per frame tick that ran, whether or not it presented anything: a measuring
  // tool outside the game counts ticks through it.
  virtual void FrameTicked() {}
  virtual void Show() = 0;  // first showing of the main window
  virtual void SetCaption(const std::string& caption1251) = 0;
  virtual void SetCursor(Cursor c) = 0;
  virtual WindowPlacement GetPlacement() = 0;
  virtual void SetPlacement(const WindowPlacement& p) = 0;
  virtual bool IsMaximized() = 0;
  virtual void SetNormalState() = 0;  // un-maximise
  virtual void Destroy() = 0;  // the window closes for good
};

// A display without a window, for uploading pictures off screen (the archive tool, tests,
// benchmarks): it comes up whenever Works is set and shows nothing.
class OffscreenDisplay : public IDisplay {
 public:
  bool Initialize(bool) override { return Works; }
  void Finalize() override {}
  bool CanDraw() override { return true; }
  void Present(const uint32_t*, int, int) override {}
  void Show() override {}
  void SetCaption(const std::string&) override {}
  void SetCursor(Cursor) override {}
  WindowPlacement GetPlacement() override { return {}; }
  void SetPlacement(const WindowPlacement&) override {}
  bool IsMaximized() override { return false; }
  void SetNormalState() override {}
  void Destroy() override {}
  bool Works = true;
};

// Keyboard and controller state at the moment of the call.
class IInput {
 public:
  virtual ~IInput() = default;
  virtual bool IsKeyDown(int key) = 0;
  virtual ControllerState Controller() = 0;
  virtual bool HasFocus() = 0;
};

// Sound output: the device pulls interleaved 16-bit stereo frames from the callback.
class IAudioOutput {
 public:
  using Pull = std::function<void(int16_t* frames, int frameCount)>;
  virtual ~IAudioOutput() = default;
  // Opens the device; false (and silence) when there is none. Rate is the device's.
  virtual bool Open(Pull pull, int& rate) = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() = 0;
};

enum class MessageStyle { Error, Information };

// Everything else the game asks of the desktop.
class IShell {
 public:
  virtual ~IShell() = default;
  // Hands a file or web address to the desktop's opener. Never through a shell string.
  virtual void Open(const std::string& target) = 0;
  // Starts a program directly with an argument vector.
  virtual void Spawn(const std::string& program, const std::vector<std::string>& args) = 0;
  virtual void MessageBox(const std::string& text1251, const std::string& caption1251,
                          MessageStyle style) = 0;
};

class ITextRenderer;

// Event pump of one implementation: delivers what happened since the last call.
class IEventSource {
 public:
  virtual ~IEventSource() = default;
  // Dispatches pending events; waits at most timeoutMs for the first one.
  virtual void Pump(IEventSink& sink, uint32_t timeoutMs) = 0;
};

// One platform: all the pieces together.
struct Platform {
  // An implementation adds its own state and clean-up (the real one shuts SDL down), and
  // is owned through this base.
  virtual ~Platform() = default;
  std::unique_ptr<IClock> Clock;
  std::unique_ptr<IDisplay> Display;
  std::unique_ptr<IInput> Input;
  std::unique_ptr<IAudioOutput> Audio;
  std::unique_ptr<IShell> Shell;
  std::unique_ptr<IHttpRequests> Http;  // see HttpRequests.h
  std::unique_ptr<ITextRenderer> Text;
  std::unique_ptr<IEventSource> Events;
};

}  // namespace tk::platform
