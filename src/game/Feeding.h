// The feeding stage: a timed stage in which the frog catches insects with its tongue,
// then the level rises and the next pond begins.
#pragma once

#include "game/FeedingState.h"
#include "game/PondState.h"
#include "shell/MainForm.h"

namespace tk::game {

// Fills the scene table's SceneFeeding row and gives LevelTimer its handler; its frame step
// keeps the tongue's aim, and the replay's start keeps the aim too. The pond's state holds
// the frog's hunger and the stone.
void RegisterFeeding(TMainForm& form, TFeedingState& feeding, TPondState& pond);

void BuildFeedingScene(TMainForm& form, TFeedingState& feeding, TPondState& pond);
void FeedingTick(TMainForm& form, TFeedingState& feeding, TPondState& pond);
// Ctrl fires, P (unless the exit prompt is open) pauses, Esc asks to leave.
void FeedingKeyDown(TMainForm& form, int key, platform::KeyMods mods);
void FeedingPause(TMainForm& form);
// Every frame tick, whatever the scene: AimAngle from the pointer (or straight up until the
// pointer first moves in the stage) plus AimAdjust, within 120..240 degrees, held while
// paused or while the exit prompt is open.
void AimTongue(const TMainForm& form, TFeedingState& feeding);

// Seconds a stage lasts at a level, counted down by LevelTimer; the stage ends below 0.
constexpr int32_t FeedingTime(int32_t level) { return 10 * level + 19; }

}  // namespace tk::game
