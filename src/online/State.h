// The pieces of the online module, shared between its files.
#pragma once

#include <string>

#include "shell/MainForm.h"

namespace tk::online {

// Kept alive with the main window.
struct TOnlineState {
  // The hidden field the name entry at game over types into (Windows-1251).
  std::string Edit2;
  bool ReadProblemReported = false;
  bool WriteProblemReported = false;
  // Config.cfg was not read in full: the next save keeps it under another name first.
  bool KeepOldFile = false;
  // The one-time token the score server gave for the last result sent.
  std::string ResultToken;
  // The token of a result the server took, until the game's replay is sent with it.
  std::string ReplayUploadToken;

  // The submission under way: which reply it waits for, and the request's handle.
  enum class TStep : uint8_t { Idle, Version, Result, Replay };
  TStep Step = TStep::Idle;
  platform::RequestId InFlight = 0;
  // The result being sent, as it stood when the name was entered (Windows-1251).
  std::string SentName, SentCountry;
  int32_t SentScore = 0;
  // The finished game's replay, kept until its result's token arrives.
  std::string ReplayBytes;
  // A replay the server was too busy to take (503), sent again at RetryAt (the clock's
  // ms), a few times at growing intervals.
  std::string RetryToken, RetryBytes;
  uint64_t RetryAt = 0;
  int Retries = 0;
};

// How often, and after how long at first, a replay the server was too busy for is sent
// again; each wait is twice the one before.
constexpr int MaxReplayRetries = 3;
constexpr uint64_t FirstReplayRetryMs = 30000;

// The purposes of the module's requests (TMainForm::NetReplies).
enum TNetPurpose : uint8_t { NetVersion = 0, NetResult = 1, NetReplay = 2 };

void LoadSettings(TMainForm& f, TOnlineState& st);
void SaveSettings(TMainForm& f, TOnlineState& st);
void ResetHighScores(TMainForm& f);
void RecordHighScore(TMainForm& f, TOnlineState& st);

// Starts sending the result just entered (name, score and country as they are now) to the
// score server; the replies arrive at the idle steps that follow and move it on: the
// version reply's token, then the result, then the game's replay. Every failure is
// swallowed; an unreachable server shows "Can't connect to server!" when that is known.
void SubmitResult(TMainForm& f, TOnlineState& st);
void RegisterSubmission(TMainForm& f, TOnlineState& st);
// Sends a replay the server was too busy for once its time has come.
void RetryReplay(TMainForm& f, TOnlineState& st);


}  // namespace tk::online
