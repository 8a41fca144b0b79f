// Keyboard: the polled inputs of the frame tick, and key presses and typed characters handed
// to the current scene's rows.
#include <string_view>

#include "platform/Cp1251.h"
#include "shell/MainForm.h"
#include "shell/Replay.h"

namespace tk {

using platform::KeyMods;
namespace vk = platform::vk;

void TMainForm::PollInput() {
  DXInput = {};
  // Nothing is held while the window is in the background.
  if (!Plat.Input->HasFocus()) return;
  auto& in = *Plat.Input;
  DXInput.Up = in.IsKeyDown('W') || in.IsKeyDown(vk::Up);
  DXInput.Down = in.IsKeyDown('S') || in.IsKeyDown(vk::Down);
  DXInput.Left = in.IsKeyDown(vk::Left);
  DXInput.Right = in.IsKeyDown(vk::Right);
  DXInput.Fire = in.IsKeyDown(vk::Space);
  DXInput.AltLeft = in.IsKeyDown('A');
  DXInput.AltRight = in.IsKeyDown('D');
  const platform::ControllerState c = in.Controller();
  if (c.Present) {
    constexpr int deadZone = 8000;
    DXInput.Left = DXInput.Left || c.AxisX < -deadZone;
    DXInput.Right = DXInput.Right || c.AxisX > deadZone;
    DXInput.Up = DXInput.Up || c.AxisY < -deadZone;
    DXInput.Down = DXInput.Down || c.AxisY > deadZone;
    auto button = [&](size_t n) { return n >= 1 && n <= c.Buttons.size() && c.Buttons[n - 1]; };
    DXInput.Fire = DXInput.Fire || button(1);
    DXInput.AltLeft = DXInput.AltLeft || button(4);
    DXInput.AltRight = DXInput.AltRight || button(5);
  }
}

namespace {
replay::TEntry KeyEntry(replay::TEntry::Kind k, int key, KeyMods mods) {
  replay::TEntry e{k};
  e.Key = static_cast<uint8_t>(key);
  e.Mods = static_cast<uint8_t>((mods.Alt ? 1 : 0) | (mods.Ctrl ? 2 : 0) | (mods.Shift ? 4 : 0));
  return e;
}
}  // namespace

void TMainForm::OnKeyDown(int key, KeyMods mods) {
  TJournalScope journal(Recorder.get(), KeyEntry(replay::TEntry::KeyDown, key, mods));
  Guard([&] {
    // The rows of the scene current at the press, even when one of them switches scenes.
    if (auto& down = CurrentHandlers().KeyDown) down(key, mods);
    if (key == vk::Enter && mods.Alt) GameFullScreenClick();
  });
}

void TMainForm::OnKeyUp(int key, KeyMods mods) {
  TJournalScope journal(Recorder.get(), KeyEntry(replay::TEntry::KeyUp, key, mods));
  FireHeld = false;
}

void TMainForm::OnChar(uint8_t ch) {
  replay::TEntry e{replay::TEntry::Char};
  e.Ch = ch;
  TJournalScope journal(Recorder.get(), e);
  Guard([&] {
    if (auto& press = CurrentHandlers().KeyPress) press(ch);
  });
}

}  // namespace tk
