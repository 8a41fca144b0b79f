// The pieces of the online module, shared between its files.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

  // Replays kept by earlier runs (Unsent/), looked for at the first idle step and sent one
  // at a time: the files still to send, and the one being sent with its try.
  bool UnsentLooked = false;
  std::vector<std::filesystem::path> UnsentQueue;
  std::filesystem::path UnsentSending;
  int UnsentTries = 0;
  platform::RequestId UnsentInFlight = 0;
};

// How often, and after how long at first, a replay the server was too busy for is sent
// again; each wait is twice the one before.
constexpr int MaxReplayRetries = 3;
constexpr uint64_t FirstReplayRetryMs = 30000;

// A replay whose upload could not be done is kept for later starts, this many at most;
// each start tries it once, and after this many starts it is given up.
constexpr size_t MaxUnsent = 8;
constexpr int MaxUnsentStarts = 5;

// The purposes of the module's requests (TMainForm::NetReplies).
enum TNetPurpose : uint8_t { NetVersion = 0, NetResult = 1, NetReplay = 2, NetUnsent = 3 };

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

// ---- Replays kept for a later start (online/Unsent.cpp)
// An upload of the replay of the result with `Token`, kept in its own file.
struct TUnsentUpload {
  std::string Token;
  int Tries = 0;  // starts that tried it
  std::string Replay;
};
std::string FormatUnsent(const TUnsentUpload& u);
// Nothing for a file that is not one whole kept upload.
std::optional<TUnsentUpload> ParseUnsent(std::string_view bytes);
// Letters and digits only: the token names the file.
bool IsUploadToken(std::string_view token);
// No reply, or the server failing or too busy: the same upload may be taken later. A
// refusal (the result's claim expired or used, the replay refused) is final.
bool ReplayMayBeTakenLater(const platform::HttpResult& r);
std::filesystem::path UnsentFolder(const TMainForm& f);
// Keeps the upload for the next start (once: kept already, it is left as it is), and
// forgets it once sent or refused.
void KeepUnsent(TMainForm& f, const std::string& token, const std::string& replayBytes);
void ForgetUnsent(TMainForm& f, const std::string& token);
void RegisterUnsent(TMainForm& f, TOnlineState& st);
// At the first idle step, starts on what earlier runs kept; later, sends the next.
void SendUnsent(TMainForm& f, TOnlineState& st);


}  // namespace tk::online
