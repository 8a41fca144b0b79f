// The pieces of the online module, shared between its files.
#pragma once

#include <string>

#include "shell/MainForm.h"

namespace tk::online {

// Kept alive with the main window.
struct TOnlineState {
  bool ReadProblemReported = false;
  bool WriteProblemReported = false;
  // Config.cfg was not read in full: the next save keeps it under another name first.
  bool KeepOldFile = false;
  // The one-time token the score server gave for the last result sent.
  std::string ResultToken;
  // The token of a result the server took, until the game's replay is sent with it.
  std::string ReplayUploadToken;
};

void LoadSettings(TMainForm& f, TOnlineState& st);
void SaveSettings(TMainForm& f, TOnlineState& st);
void ResetHighScores(TMainForm& f);
void RecordHighScore(TMainForm& f, TOnlineState& st);

// Sends the recorded result to the score server on the window's HTTP client. Every failure
// is swallowed; an unreachable server shows "Can't connect to server!".
void SubmitResult(TMainForm& f, TOnlineState& st);

void GameEnterNameClick(TMainForm& f);
void GameSendResultClick(TMainForm& f);
void GameOverTick(TMainForm& f);
void GameOverMouseDown(TMainForm& f, platform::MouseButton button);

}  // namespace tk::online
