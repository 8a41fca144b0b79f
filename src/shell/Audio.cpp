// Sound effects by name under the sound flag, music by track under the music flag, and
// the frame tick's rule that restarts a module once it has played through.
#include <cstdio>

#include "media/Sound.h"
#include "platform/Cp1251.h"
#include "platform/Files.h"
#include "shell/MainForm.h"
#include "shell/Replay.h"

namespace tk {

void TMainForm::LoadSoundArchive() {
  if (Options.CheckOnly) return;
  soundsDeferred_ = false;
  soundsLoadedOnce_ = true;
  DXWaveList->Items.LoadArchive("Data\\Music.dxw",
                                [](std::shared_ptr<const TFileBytes> b) {
                                  NoteGameData("Data\\Music.dxw", std::move(b));
                                });
}

bool TMainForm::LoadDeferredSounds() {
  if (!soundsDeferred_ || closed_) return false;
  try {
    LoadSoundArchive();
  } catch (const std::exception& e) {
    soundsDeferred_ = false;
    HandleException(e);
    startFailed_ = true;
    closed_ = true;
  }
  return true;
}

void TMainForm::PlaySound(const std::string& name) {
  if (!GameSound) return;
  LoadDeferredSounds();
  if (startFailed_) return;
  if (!Options.CheckOnly) DXWaveList->Items.FindSound(name).PlayWave(false);
  if (Options.RecordSounds) SoundLog.push_back(name);
}

void TMainForm::StopSound(const std::string& name) {
  if (Options.CheckOnly) return;
  LoadDeferredSounds();
  if (startFailed_) return;
  auto& items = DXWaveList->Items;
  if (name == "all") {
    for (int i = 0; i < items.Count(); ++i) items.Items(i).StopWave();
  } else {
    items.FindSound(name).StopWave();
  }
}

void TMainForm::PlayMusic(const std::string& track) {
  if (!GameMusic) return;
  LastMusicOrder = 0;
  if (MusicModule) Music->SongFree(MusicModule);
  MusicModule = 0;
  const std::string file = "Music\\" + track + ".xm";
  if (Options.CheckOnly) {
    // Nothing is mixed: the tune is named as playing when its file is there, unread.
    currentTrack_ = FileExists(file) ? track : "";
    return;
  }
  MusicModule = Music->SongLoadFromFile(ResolvePath(file).string());
  // The game goes on without the tune; whoever broke the file learns which one, once.
  if (!MusicModule)
    if (const std::string why = Music->NewLoadError(); !why.empty())
      std::fprintf(stderr, "%s: %s\n", Cp1251ToUtf8(Cp("Тиноквак")).c_str(), why.c_str());
  currentTrack_ = MusicModule ? track : "";
  if (MusicModule) Music->SongPlay(MusicModule);
}

void TMainForm::StopMusic() {
  if (MusicModule) Music->SongFree(MusicModule);
  MusicModule = 0;
  currentTrack_.clear();
}

std::string TMainForm::CurrentTrack() const {
  return MusicModule || Options.CheckOnly ? currentTrack_ : "";
}

void TMainForm::MusicCheck() {
  if (!MusicModule) return;
  const int o = Music->SongGetOrder(MusicModule);
  if (o != 0 || LastMusicOrder == 0) {
    LastMusicOrder = Music->SongGetOrder(MusicModule);
    return;
  }
  // The scene's own tune; scenes without one let the module play on.
  if (const char* track = CurrentHandlers().Music) PlayMusic(track);
}

}  // namespace tk
