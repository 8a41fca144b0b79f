// The pond stage: the lily grid and its layout, the scene's builder, its tick, its Timer1
// handler, its keys, pause and pointer. RegisterPond plugs them into the main window's
// scene table.
#pragma once

#include "game/FeedingState.h"
#include "game/PondState.h"
#include "shell/MainForm.h"

namespace tk::game {

// The pond also lets the stork come again in the next feeding stage. Its frame step counts
// the frog's cooldowns down, and the replay's start keeps them.
void RegisterPond(TMainForm& form, TPondState& pond, TFeedingState& feeding);
// Every frame tick, whatever the scene: each of the frog's cooldowns one tick nearer 0.
void CountCooldownsDown(TPondState& pond);

// The builder of ScenePond: music, ambience, then the pond itself.
void BuildPondScene(TMainForm& form, TPondState& pond, TFeedingState& feeding);
// Lays out the pond of the current level afresh (also after a lost life).
void BuildPond(TMainForm& form, TPondState& pond, TFeedingState& feeding);
// The random layout of rows -1..3 and the all-simple bottom row; Hunger starts at 0.
void FillLilyGrid(TMainForm& form, TPondState& pond);
// Shifts the grid down one row and draws a new top row (and maybe a log).
void AddLilyRow(TMainForm& form, TPondState& pond);
// Lilies for rows 0..4 on the first build, for rows 0 and -1 after every scroll.
void CreateLilySprites(TMainForm& form, TPondState& pond);
// Starts the scroll a jump up asked for (one row, or two from a spring lily).
void StartPendingScroll(TPondState& pond);

void PondTick(TMainForm& form, TPondState& pond, TFeedingState& feeding);
void PondTimer1(TMainForm& form);
// P (unless the exit prompt is open), the fire keys and Esc.
void PondKeyDown(TMainForm& form, int key, platform::KeyMods mods);
void PondPause(TMainForm& form);

}  // namespace tk::game
