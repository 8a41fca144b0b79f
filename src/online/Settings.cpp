// Config.cfg and the high-score table on the main window. The file format and the table's
// rules are the persistence layer's; this side applies them to the window's flags, text
// fields and table, and decides what the player hears of a file that fails.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "online/Online.h"
#include "online/State.h"
#include "persist/Settings.h"
#include "platform/Cp1251.h"
#include "platform/Errors.h"
#include "platform/Files.h"

namespace tk::online {

namespace {

constexpr const char* kFileName = "Config.cfg";
// A real file is well under a kilobyte; the reader looks at its first 25 lines only.
constexpr size_t kMaxFileBytes = 1 << 20;

THighScoreTable TableOf(const TMainForm& f) {
  THighScoreTable t;
  for (int k = 0; k < HighScoreRows; ++k) t[k] = {f.HighScores[k].Name, f.HighScores[k].Score};
  return t;
}

void SetTable(TMainForm& f, const THighScoreTable& t) {
  for (int k = 0; k < HighScoreRows; ++k) f.HighScores[k] = {t[k].Name, t[k].Score};
}

std::string SystemError(int err) {
  if (err == ENOENT) return "File not found";
  if (err == EACCES || err == EPERM) return "File access denied";
  return "I/O error " + std::to_string(err);
}

enum class ReadResult { Read, Missing, Failed };

// The whole file (up to the size limit), or why it could not be read.
ReadResult ReadFile(const std::filesystem::path& path, std::string& bytes, std::string& error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return ReadResult::Missing;
    error = SystemError(errno);
    return ReadResult::Failed;
  }
  char buf[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      error = SystemError(errno);
      ::close(fd);
      return ReadResult::Failed;
    }
    if (n == 0) break;
    bytes.append(buf, static_cast<size_t>(n));
    if (bytes.size() >= kMaxFileBytes) break;
  }
  ::close(fd);
  return ReadResult::Read;
}

// The file the window was given, else the game folder's own.
std::filesystem::path SettingsPath(const TMainForm& f) {
  return f.Options.SettingsFile.empty() ? ResolvePath(kFileName) : f.Options.SettingsFile;
}

// A file problem goes to stderr and a message box, as an unhandled error would, but the
// game carries on with what it has.
void ReportFileProblem(TMainForm& f, const std::string& message) {
  f.HandleException(EInOutError(message));
}

}  // namespace

void LoadSettings(TMainForm& f, TOnlineState& st) {
  std::string bytes, error;
  switch (ReadFile(SettingsPath(f), bytes, error)) {
    case ReadResult::Missing:
      return;  // the defaults stand
    case ReadResult::Failed:
      if (!st.ReadProblemReported) ReportFileProblem(f, error);
      st.ReadProblemReported = true;
      return;
    case ReadResult::Read:
      break;
  }

  TSettings s;
  s.GameFullScreen = f.GameFullScreen;
  s.GameMusic = f.GameMusic;
  s.GameSound = f.GameSound;
  s.PlayerCountry = f.Edit1;
  s.PlayerName = f.Edit2;
  s.HighScores = TableOf(f);
  const bool whole = ReadSettings(bytes, s, error);

  // Applied even after a bad score line: what was read before it stands.
  if (s.GameFullScreen && !f.GameFullScreen) f.GameFullScreenClick();
  f.GameMusic = s.GameMusic;
  f.GameSound = s.GameSound;
  f.Edit1 = f.PlayerCountry = s.PlayerCountry;
  f.Edit2 = f.PlayerName = s.PlayerName;
  SetTable(f, s.HighScores);
  if (!whole)
    std::fprintf(stderr, "%s: %s: %s\n", Cp1251ToUtf8(Cp("Тиноквак")).c_str(), kFileName,
                 Cp1251ToUtf8(error).c_str());
}

void SaveSettings(TMainForm& f, TOnlineState& st) {
  f.PlayerCountry = f.Edit1;
  f.PlayerName = f.Edit2;
  TSettings s;
  s.GameFullScreen = f.GameFullScreen;
  s.GameMusic = f.GameMusic;
  s.GameSound = f.GameSound;
  s.PlayerCountry = f.PlayerCountry;
  s.PlayerName = f.PlayerName;
  s.HighScores = TableOf(f);
  std::string error;
  if (SaveSettingsFile(SettingsPath(f), s, error)) {
    st.WriteProblemReported = false;  // a later failure is news again
    return;
  }
  // Every scene change off three screens writes the file: say it once, not every time.
  if (!st.WriteProblemReported) ReportFileProblem(f, error);
  st.WriteProblemReported = true;
}

void ResetHighScores(TMainForm& f) {
  SetTable(f, DefaultHighScores());
  f.SwitchScene(SceneHighScores);
}

void RecordHighScore(TMainForm& f) {
  THighScoreTable t = TableOf(f);
  if (::tk::RecordHighScore(t, f.PlayerName, f.Score) < 0) return;
  SetTable(f, t);
  if (f.GameSendResult) SubmitResult(f);
  f.SwitchScene(SceneHighScores);
}

}  // namespace tk::online
