// Sound effects by name under the sound flag, music by track under the music flag, and
// the frame tick's rule that restarts a module once it has played through.
#include <cstdio>
#include <utility>

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
  deferredTune_.clear();
  const std::string file = "Music\\" + track + ".xm";
  if (Options.TuneAndSettingsAfterFirstFrame && framesTicked_ == 0 && !Options.CheckOnly) {
    deferredTune_ = track;
    currentTrack_.clear();
    return;
  }
  if (Options.CheckOnly) {
    // Nothing is mixed, but the tune is named as playing exactly when the game would play
    // it: when the player loads its file.
    currentTrack_ = TuneLoads(file) ? track : "";
    return;
  }
  MusicModule = LoadTune(file);
  currentTrack_ = MusicModule ? track : "";
  if (MusicModule) Music->SongPlay(MusicModule);
}

uintptr_t TMainForm::LoadTune(const std::string& file) {
  const uintptr_t module = Music->SongLoadFromFile(ResolvePath(file).string());
  // The game goes on without the tune; whoever broke the file learns which one, once.
  if (!module)
    if (const std::string why = Music->NewLoadError(); !why.empty())
      std::fprintf(stderr, "%s: %s\n", Cp1251ToUtf8(Cp("Тиноквак")).c_str(), why.c_str());
  return module;
}

bool TMainForm::TuneLoads(const std::string& file) {
  // Whether a module loads depends on its bytes alone, and the game's data does not change
  // under a check: each file is loaded once, and let go at once.
  if (const auto known = tuneLoads_.find(file); known != tuneLoads_.end()) return known->second;
  const uintptr_t module = LoadTune(file);
  if (module) Music->SongFree(module);
  return tuneLoads_[file] = module != 0;
}

bool TMainForm::StartDeferredTune() {
  if (deferredTune_.empty() || framesTicked_ == 0) return false;
  PlayMusic(std::exchange(deferredTune_, {}));
  return true;
}

void TMainForm::StopMusic() {
  deferredTune_.clear();
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
