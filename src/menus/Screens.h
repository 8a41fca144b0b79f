// The pieces of the menu module, shared between its files.
#pragma once

#include <string>

#include "shell/MainForm.h"

namespace tk::menus {

// Menu operations shared with the keyboard.
void StartGame(TMainForm& f);
void BackToMainMenu(TMainForm& f);

void BuildMainMenu(TMainForm& f);
void MainMenuTick(TMainForm& f);
void MainMenuHover(TMainForm& f);
void MainMenuClick(TMainForm& f);

void BuildHelpScreen(TMainForm& f);
void HelpScreenTick(TMainForm& f);
void DrawHelpPage(TMainForm& f);
void HelpHover(TMainForm& f);
void HelpClick(TMainForm& f);

void BuildOptionsScreen(TMainForm& f);
void OptionsScreenTick(TMainForm& f);
void OptionsHover(TMainForm& f);
void OptionsClick(TMainForm& f);

void BuildHighScoreScreen(TMainForm& f);
void HighScoreScreenTick(TMainForm& f);
void HighScoreHover(TMainForm& f);
void HighScoreClick(TMainForm& f);
// The online table's page on the configured score server.
std::string HighScorePageAddress(const TMainForm& f);

// The two dialogs.
void GameMainExitClick(TMainForm& f);
void GameClearHighScoreClick(TMainForm& f);
void ExitPromptHover(TMainForm& f);  // the table of the current scene
void ExitPromptClick(TMainForm& f);
void ClearDialogHover(TMainForm& f);
void ClearDialogClick(TMainForm& f);

void DXDrawMouseMove(TMainForm& f, int x, int y);
void DXDrawMouseDown(TMainForm& f, platform::MouseButton b);

}  // namespace tk::menus
