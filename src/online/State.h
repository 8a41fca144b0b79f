// The pieces of the online module, shared between its files.
#pragma once

#include "shell/MainForm.h"

namespace tk::online {

// Kept alive with the main window.
struct TOnlineState {
  bool ReadProblemReported = false;
  bool WriteProblemReported = false;
  // Config.cfg was not read in full: the next save keeps it under another name first.
  bool KeepOldFile = false;
};

void LoadSettings(TMainForm& f, TOnlineState& st);
void SaveSettings(TMainForm& f, TOnlineState& st);
void ResetHighScores(TMainForm& f);
void RecordHighScore(TMainForm& f);

void GameEnterNameClick(TMainForm& f);
void GameSendResultClick(TMainForm& f);
void GameOverTick(TMainForm& f);
void GameOverMouseDown(TMainForm& f, platform::MouseButton button);

}  // namespace tk::online
