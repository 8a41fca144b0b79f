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
  DXWaveList->Items.LoadArchive("Data\\Music.dxw",
                                [](std::string_view b) { NoteGameData("Data\\Music.dxw", b); });
}

void TMainForm::PlaySound(const std::string& name) {
  if (!GameSound) return;
  DXWaveList->Items.FindSound(name).PlayWave(false);
  if (Options.RecordSounds) SoundLog.push_back(name);
}

void TMainForm::StopSound(const std::string& name) {
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
  MusicModule = Music->SongLoadFromFile(ResolvePath("Music\\" + track + ".xm").string());
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

std::string TMainForm::CurrentTrack() const { return MusicModule ? currentTrack_ : ""; }

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
