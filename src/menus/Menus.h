// The menu screens (the logo, main menu, help, options, high scores), the two yes/no
// dialogs and the text caret.
#pragma once

#include "shell/MainForm.h"

namespace tk::menus {

// Fills the scene table's rows of the logo and the four menu screens (builders, ticks,
// keys, typing, pointer, caret, leave steps and tune), Timer2's handler, and the hooks
// GameMainExitClick, ExitPromptMouseMove, ExitPromptMouseDown, the caret's frame step and
// the replay start's hover latch and text fields. Registers the module states TMenuState
// and TTyping (the latter before any module that types: the name entry uses it).
void Register(TMainForm& form);

}  // namespace tk::menus
