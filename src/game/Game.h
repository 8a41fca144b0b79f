// The game's scenes: the pond and the feeding stage. The two play stages share
// the frog's hunger and the stone (the pond's) and the stork's once-a-level rule (the
// feeding stage's), so their states are made together and each gets the other's.
#pragma once

#include "shell/MainForm.h"

namespace tk::game {

void Register(TMainForm& form);

}  // namespace tk::game
