// The menu screens (main menu, help, options, high scores), the two yes/no dialogs, the
// text caret and the mouse handlers of the drawing surface with their per-scene dispatch.
#pragma once

#include "shell/MainForm.h"

namespace tk::menus {

// Fills the scene table for the four menu screens and the hooks MouseMove, MouseDown,
// GameMainExitClick, GameClearHighScoreClick and CreateCaret.
void Register(TMainForm& form);

}  // namespace tk::menus
