// Keyboard: the polled inputs of the frame tick and the key-down table of every scene.
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
    const uint8_t scene = CurrentScene;
    auto mainExit = [this] {
      if (Hooks.GameMainExitClick) Hooks.GameMainExitClick();
    };
    auto lowest = [this] { return HighScores[9].Score; };
    switch (scene) {
      case SceneMainMenu:
        if (key == vk::Esc) {
          mainExit();
        } else if (key == vk::Enter && !mods.Alt && !GameMainExit) {
          // Enter does nothing while the exit prompt is open.
          SwitchScene(ScenePond);
        }
        break;
      case ScenePond:
        if (key == 'P' && !GameMainExit) {
          Paused = !Paused;
          LevelTitleShown = false;
          Timer1.SetEnabled(!Timer1.Enabled());
        }
        FireHeld = key == vk::Space || mods.Ctrl || (key == vk::Enter && !mods.Alt);
        if (key == vk::Esc && !Paused) mainExit();
        break;
      case SceneFeeding:
        if (mods.Ctrl) FireHeld = true;
        if (key == 'P' && !GameMainExit) {
          Paused = !Paused;
          LevelTimer.SetEnabled(!LevelTimer.Enabled());
        }
        if (key == vk::Esc && !Paused) mainExit();
        break;
      case SceneHelp:
        if (key == vk::Esc) SwitchScene(SceneMainMenu);
        break;
      case SceneOptions:
        if (key == vk::Esc) {
          SwitchScene(SceneMainMenu);
        } else if (key == vk::Backspace && GamegoEdit && !Edit1.empty()) {
          Edit1.pop_back();
        }
        break;
      case SceneHighScores:
        if (key == vk::Esc) {
          if (GameClearHighScore) {
            SwitchScene(SceneHighScores);
            if (Hooks.GameClearHighScoreClick) Hooks.GameClearHighScoreClick();
          } else {
            SwitchScene(SceneMainMenu);
          }
        }
        break;
      case SceneGameOver:
        if ((key == vk::Esc || key == vk::Enter) && Score <= lowest() && !Timer1.Enabled()) {
          Wait(200);
          SwitchScene(SceneMainMenu);
        } else if (key == vk::Backspace && GamegoEdit) {
          if (!Edit2.empty()) Edit2.pop_back();
        } else if (key == vk::Enter && !mods.Alt && !PlayerName.empty() && Score > lowest()) {
          if (Hooks.RecordHighScore) Hooks.RecordHighScore();
        }
        break;
      default:
        break;
    }
    if (scene < Scenes.size() && Scenes[scene].KeyDown) Scenes[scene].KeyDown(key, mods);
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
    if (CurrentScene == SceneOptions) {
      // The width measured when the field was last drawn limits what still fits.
      if (GamegoEdit && NameTextWidth + 37 <= 375 && IsNameCharacter(ch) && Edit1.size() < 10)
        Edit1 += static_cast<char>(ch);
    } else if (CurrentScene == SceneGameOver) {
      if (GamegoEdit && Edit2.size() < 10 && IsNameCharacter(ch)) Edit2 += static_cast<char>(ch);
    }
    if (CurrentScene < Scenes.size() && Scenes[CurrentScene].KeyPress)
      Scenes[CurrentScene].KeyPress(ch);
  });
}

}  // namespace tk
