// Every game the player plays is recorded into the Replays/ folder beside the settings file.
#pragma once

#include "shell/MainForm.h"

namespace tk {

// From now on each finished game is written there; a place that cannot be written loses
// the replay with one line on stderr and nothing else.
void RecordGamesIntoReplays(TMainForm& form);

}  // namespace tk
