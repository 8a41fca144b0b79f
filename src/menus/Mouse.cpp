// The drawing surface's pointer-move and button-down handlers: highlights live from one
// move to the next, and every hit test uses the last move position.
#include "menus/HitTest.h"
#include "menus/MenuSprites.h"
#include "menus/Screens.h"

namespace tk::menus {

using platform::Cursor;
using platform::MouseButton;

bool HoverGroup(TMainForm& f, std::span<const THoverTarget> targets, bool& armed) {
  for (const THoverTarget& t : targets) {
    if (!t.Rect.Contains(f.MouseX, f.MouseY)) continue;
    f.SetCursor(Cursor::Hand);
    t.Highlight(f);
    if (armed) {
      f.StopSound("button_up");
      f.PlaySound("button_up");
      armed = false;
    }
    return true;
  }
  armed = true;
  return false;
}

void HoverTest(TMainForm& f, TMenuState& m, std::span<const THoverTarget> targets) {
  f.SetCursor(Cursor::Arrow);
  HoverGroup(f, targets, m.HoverSoundArmed);
}

bool ClickTest(TMainForm& f, TMenuState& m, std::span<const TClickTarget> targets) {
  for (const TClickTarget& t : targets) {
    if (t.Rect.Contains(f.MouseX, f.MouseY)) {
      t.Action(f, m);
      return true;
    }
  }
  return false;
}

namespace {

// The name field of the game-over panel shows the text pointer.
constexpr THitRect NameField = Hit(250, 550, 315, 348);

TSceneHandlers* SceneOf(TMainForm& f) {
  return f.CurrentScene < f.Scenes.size() ? &f.Scenes[f.CurrentScene] : nullptr;
}

}  // namespace

void DXDrawMouseMove(TMainForm& f, TMenuState& m, int x, int y) {
  f.KillAll<TMenuGame>();  // freed before the next draw
  f.MouseX = x;
  f.MouseY = y;
  switch (f.CurrentScene) {
    case SceneMainMenu:
      MainMenuHover(f, m);
      break;
    case ScenePond:
      f.SetCursor(Cursor::Hidden);
      if (f.GameMainExit) ExitPromptHover(f, m);
      break;
    case SceneFeeding:
      f.AimCentred = false;  // the tongue follows the pointer from now on
      f.SetCursor(Cursor::Hidden);
      if (f.GameMainExit) ExitPromptHover(f, m);
      break;
    case SceneHelp:
      HelpHover(f, m);
      break;
    case SceneOptions:
      OptionsHover(f, m);
      break;
    case SceneHighScores:
      if (f.GameClearHighScore)
        ClearDialogHover(f, m);
      else
        HighScoreHover(f, m);
      break;
    case SceneGameOver:
      f.SetCursor(NameField.Contains(f.MouseX, f.MouseY) ? Cursor::IBeam : Cursor::Arrow);
      break;
    default:
      break;
  }
  if (TSceneHandlers* s = SceneOf(f); s && s->MouseMove) s->MouseMove();
}

void DXDrawMouseDown(TMainForm& f, TMenuState& m, MouseButton b) {
  const bool left = b == MouseButton::Left;
  TSceneHandlers* s = SceneOf(f);
  switch (f.CurrentScene) {
    case SceneMainMenu:
      if (left) MainMenuClick(f, m);
      break;
    case ScenePond:
      if (f.GameMainExit) ExitPromptClick(f, m);
      break;
    case SceneFeeding:
      f.FireHeld = true;
      if (f.GameMainExit) ExitPromptClick(f, m);
      break;
    case SceneHelp:
      if (left) HelpClick(f, m);
      break;
    case SceneOptions:
      if (left) OptionsClick(f, m);
      break;
    case SceneHighScores:
      if (!left) break;
      if (f.GameClearHighScore)
        ClearDialogClick(f, m);
      else
        HighScoreClick(f, m);
      break;
    case SceneGameOver:
      // The banner's five seconds run on Timer1; the panel takes clicks only after them.
      if (left && !f.Timer1.Enabled() && s && s->MouseDown) s->MouseDown(b);
      break;
    case SceneExitScreen:
      if (left && s && s->MouseDown) s->MouseDown(b);
      break;
    default:
      break;
  }
}

}  // namespace tk::menus
