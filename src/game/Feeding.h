// The feeding stage: a timed stage in which the frog catches insects with its tongue,
// then the level rises and the next pond begins.
#pragma once

#include "shell/MainForm.h"

namespace tk::game {

// Fills the scene table's SceneFeeding entry (builder and tick).
void RegisterFeeding(TMainForm& form);

void BuildFeedingScene(TMainForm& form);
void FeedingTick(TMainForm& form);

// Seconds a stage lasts at a level, counted down by LevelTimer; the stage ends below 0.
constexpr int32_t FeedingTime(int32_t level) { return 10 * level + 19; }

}  // namespace tk::game
