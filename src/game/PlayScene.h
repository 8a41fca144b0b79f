// What the pond and the feeding stage share as scenes: the way they are left, and the exit
// prompt (the menus' dialog) taking the pointer while it is open over them.
#pragma once

#include "shell/MainForm.h"

namespace tk::game {

// Both stages' leave steps: sprites and sounds gone, the tune restarted by the next scene.
void LeavePlayScene(TMainForm& form);
// Esc opens the exit prompt unless the game is paused.
void PlaySceneEsc(TMainForm& form, int key);
// The prompt's highlights thrown away and, while it is open, its hover and click tests.
void PromptMouseMove(TMainForm& form);
void PromptMouseDown(TMainForm& form);

}  // namespace tk::game
