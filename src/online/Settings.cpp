// Config.cfg and the high-score table on the main window. The file format and the table's
// rules are the persistence layer's; this side applies them to the window's flags, text
// fields and table, and decides what the player hears of a file that fails: a short box,
// and the whole line (file and the system's words) on stderr.
#include <cerrno>
#include <cstdio>
#include <string>

#include "menus/Typing.h"
#include "online/Online.h"
#include "online/State.h"
#include "persist/Settings.h"
#include "platform/Cp1251.h"
#include "platform/Files.h"

namespace tk::online {

namespace {

constexpr const char* kFileName = "Config.cfg";

// The file the window was given, else the game folder's own. Everything about it (its
// temporary file, the copies of a damaged one) is named after this path.
std::filesystem::path SettingsPath(const TMainForm& f) {
  return f.Options.SettingsFile.empty() ? ResolvePath(kFileName) : f.Options.SettingsFile;
}

// The boxes keep the runtime's short texts for a failed file; stderr gets the whole story.
std::string ReadBoxText(int err) {
  if (err == ENOENT) return "File not found";
  if (err == EACCES || err == EPERM) return "File access denied";
  return "I/O error " + std::to_string(err);
}
std::string WriteBoxText(int err) { return "I/O error " + std::to_string(err); }

void Say(const std::string& line) {
  std::fprintf(stderr, "%s: %s\n", Cp1251ToUtf8(Cp("Тиноквак")).c_str(), line.c_str());
}

void Box(TMainForm& f, const std::string& text1251, platform::MessageStyle style) {
  f.Plat.Shell->MessageBox(text1251, Cp("Тиноквак"), style);
}

// A path for a message box, whose texts are Windows-1251.
std::string Shown(const std::filesystem::path& p) { return Utf8ToCp1251(p.string()); }

// The options screen's country field, the menus' module.
menus::TTyping& Typing(const TMainForm& f) { return f.Module<menus::TTyping>(); }

TSettings SettingsOf(const TMainForm& f) {
  TSettings s;
  s.GameFullScreen = f.GameFullScreen;
  s.GameMusic = f.GameMusic;
  s.GameSound = f.GameSound;
  s.PlayerCountry = Typing(f).PlayerCountry;
  s.PlayerName = f.PlayerName;
  s.HighScores = f.HighScores;
  return s;
}

}  // namespace

std::filesystem::path SettingsFilePath(const TMainForm& f) { return SettingsPath(f); }

void LoadSettings(TMainForm& f, TOnlineState& st) {
  const std::filesystem::path path = SettingsPath(f);
  RemoveLeftoverTemp(path);

  menus::TTyping& typing = Typing(f);
  TSettings s = SettingsOf(f);
  s.PlayerCountry = typing.Edit1;
  s.PlayerName = st.Edit2;
  const TSettingsLoad load = LoadSettingsFile(path, s);
  st.KeepOldFile = load.MustKeep();
  switch (load.State) {
    case TSettingsLoad::Missing:
      return;  // the defaults stand
    case TSettingsLoad::Unreadable:
      Say(path.string() + ": " + load.Problems.front());
      if (!st.ReadProblemReported) Box(f, ReadBoxText(load.Errno), platform::MessageStyle::Error);
      st.ReadProblemReported = true;
      return;
    case TSettingsLoad::Partial:
      // The player hears of it once the old file has been kept, at the first save.
      for (const auto& p : load.Problems) Say(path.string() + ": " + Cp1251ToUtf8(p));
      break;
    case TSettingsLoad::Whole:
      break;
  }

  // Applied even after a damaged line: everything else that was read stands.
  if (s.GameFullScreen && !f.GameFullScreen) f.GameFullScreenClick();
  f.GameMusic = s.GameMusic;
  f.GameSound = s.GameSound;
  typing.Edit1 = typing.PlayerCountry = s.PlayerCountry;
  st.Edit2 = f.PlayerName = s.PlayerName;
  f.HighScores = s.HighScores;
}

void SaveSettings(TMainForm& f, TOnlineState& st) {
  menus::TTyping& typing = Typing(f);
  typing.PlayerCountry = typing.Edit1;
  f.PlayerName = st.Edit2;
  const std::filesystem::path path = SettingsPath(f);
  TFileError error;

  // A file this run could not read in full is moved aside before anything replaces it.
  std::string kept;
  if (st.KeepOldFile) {
    std::filesystem::path keptAs;
    if (!KeepOldSettingsFile(path, keptAs, error)) {
      // Without a copy nothing is written: the old file stays as it is.
      Say(error.Message + " (" + path.string() + " was not read in full and is left as it is)");
      if (!st.WriteProblemReported)
        Box(f, WriteBoxText(error.Errno), platform::MessageStyle::Error);
      st.WriteProblemReported = true;
      return;
    }
    st.KeepOldFile = false;
    if (!keptAs.empty()) {
      Say(path.string() + " was not read in full; the old file was kept as " + keptAs.string());
      kept = Shown(path) + " could not be read in full. The old file was kept as " +
             Shown(keptAs) + ".";
    }
  }

  if (SaveSettingsFile(path, SettingsOf(f), error)) {
    st.WriteProblemReported = false;  // a later failure is news again
  } else {
    Say(error.Message);
    // Every scene change off three screens writes the file: the box comes once, not every time.
    if (!st.WriteProblemReported) Box(f, WriteBoxText(error.Errno), platform::MessageStyle::Error);
    st.WriteProblemReported = true;
  }
  // Told after the save, so a game closed while the box is up has its file written.
  if (!kept.empty()) Box(f, kept, platform::MessageStyle::Information);
}

void ResetHighScores(TMainForm& f) {
  f.HighScores = DefaultHighScores();
  f.SwitchScene(SceneHighScores);
}

void RecordHighScore(TMainForm& f, TOnlineState& st) {
  if (::tk::RecordHighScore(f.HighScores, f.PlayerName, f.Score) < 0) return;
  const bool send = f.GameSendResult;
  st.SentName = st.Edit2;
  st.SentCountry = Typing(f).Edit1;
  st.SentScore = f.Score;
  // Kept first: leaving the game-over scene writes Config.cfg and ends the game's replay
  // (kept in Replays/, handed back through UploadReplay). Only then is anything sent, so a
  // game closed or killed while the server takes its time has lost nothing.
  st.ReplayBytes.clear();
  f.SwitchScene(SceneHighScores);
  if (send) SubmitResult(f, st);
}

}  // namespace tk::online
