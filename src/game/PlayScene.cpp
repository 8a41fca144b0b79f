#include "game/PlayScene.h"

namespace tk::game {

void LeavePlayScene(TMainForm& f) {
  f.Engine().Clear();
  f.MusicRestartPending = true;
  f.GameOver = false;
  f.StopSound("all");
}

void PlaySceneEsc(TMainForm& f, int key) {
  if (key == platform::vk::Esc && !f.Paused && f.Hooks.GameMainExitClick)
    f.Hooks.GameMainExitClick();
}

void PromptMouseMove(TMainForm& f) {
  if (f.Hooks.ExitPromptMouseMove) f.Hooks.ExitPromptMouseMove();
}

void PromptMouseDown(TMainForm& f) {
  if (f.Hooks.ExitPromptMouseDown) f.Hooks.ExitPromptMouseDown();
}

}  // namespace tk::game
