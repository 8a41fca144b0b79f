// The pond stage: the lily grid and its layout, the scene's builder, its tick and its
// Timer1 handler. RegisterPond plugs them into the main window's scene table.
#pragma once

#include "shell/MainForm.h"

namespace tk::game {

void RegisterPond(TMainForm& form);

// The builder of ScenePond: music, ambience, then the pond itself.
void BuildPondScene(TMainForm& form);
// Lays out the pond of the current level afresh (also after a lost life).
void BuildPond(TMainForm& form);
// The random layout of rows -1..3 and the all-simple bottom row; Hunger starts at 0.
void FillLilyGrid(TMainForm& form);
// Shifts the grid down one row and draws a new top row (and maybe a log).
void AddLilyRow(TMainForm& form);
// Lilies for rows 0..4 on the first build, for rows 0 and -1 after every scroll.
void CreateLilySprites(TMainForm& form);
// Starts the scroll a jump up asked for (one row, or two from a spring lily).
void StartPendingScroll(TMainForm& form);

void PondTick(TMainForm& form);
void PondTimer1(TMainForm& form);

}  // namespace tk::game
