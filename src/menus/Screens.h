// The pieces of the menu module, shared between its files.
#pragma once

#include <string>

#include "menus/MenuState.h"
#include "menus/Typing.h"
#include "shell/MainForm.h"

namespace tk::menus {

// Menu operations shared with the keyboard.
void StartGame(TMainForm& f);
void BackToMainMenu(TMainForm& f);

void BuildMainMenu(TMainForm& f, TMenuState& m);
void MainMenuTick(TMainForm& f);
void MainMenuHover(TMainForm& f, TMenuState& m);
void MainMenuClick(TMainForm& f, TMenuState& m);

void BuildHelpScreen(TMainForm& f, TMenuState& m);
void HelpScreenTick(TMainForm& f, TMenuState& m);
void DrawHelpPage(TMainForm& f, TMenuState& m);
void HelpHover(TMainForm& f, TMenuState& m);
void HelpClick(TMainForm& f, TMenuState& m);

void BuildOptionsScreen(TMainForm& f, TTyping& typing);
void OptionsScreenTick(TMainForm& f, TTyping& typing);
void OptionsHover(TMainForm& f, TMenuState& m);
void OptionsClick(TMainForm& f, TMenuState& m);

void BuildHighScoreScreen(TMainForm& f);
void HighScoreScreenTick(TMainForm& f);
void HighScoreHover(TMainForm& f, TMenuState& m);
void HighScoreClick(TMainForm& f, TMenuState& m);
// The online table's page on the configured score server.
std::string HighScorePageAddress(const TMainForm& f);

// The two dialogs.
void GameMainExitClick(TMainForm& f);
void GameClearHighScoreClick(TMainForm& f);
void ExitPromptHover(TMainForm& f, TMenuState& m);  // the table of the current scene
void ExitPromptClick(TMainForm& f, TMenuState& m);
void ClearDialogHover(TMainForm& f, TMenuState& m);
void ClearDialogClick(TMainForm& f, TMenuState& m);

// The logo shown at start-up (the shell's first scene), until Timer2 gives way to the menu.
void BuildLogo(TMainForm& f);
void LogoTick(TMainForm& f);

}  // namespace tk::menus
