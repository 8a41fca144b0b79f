// The feeding stage: a timed stage in which the frog catches insects with its tongue,
// then the level rises and the next pond begins.
#pragma once

#include "game/FeedingState.h"
#include "game/PondState.h"
#include "shell/MainForm.h"

namespace tk::game {

// Fills the scene table's SceneFeeding entry (builder, tick and leave step) and gives
// LevelTimer its handler. The pond's state holds the frog's hunger and the stone.
void RegisterFeeding(TMainForm& form, TFeedingState& feeding, TPondState& pond);

void BuildFeedingScene(TMainForm& form, TFeedingState& feeding, TPondState& pond);
void FeedingTick(TMainForm& form, TFeedingState& feeding, TPondState& pond);

// Seconds a stage lasts at a level, counted down by LevelTimer; the stage ends below 0.
constexpr int32_t FeedingTime(int32_t level) { return 10 * level + 19; }

}  // namespace tk::game
