// A game on the headless platform in a temporary folder, with what tests do to it. Fixtures
// fill the folder and adjust the platform, then create the main window in `form`.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/headless/Headless.h"
#include "shell/MainForm.h"
#include "shell/Replay.h"
#include "support/GameDir.h"
#include "support/RecordingText.h"

namespace tk::testing {

class HeadlessGame {
 public:
  HeadlessGame() = default;
  // A game hashes its archives on a worker thread: the hash is waited for before the game
  // goes, so no worker is still running when a later test forks (RunUnprivileged), whose
  // child would otherwise wait at the next start for a thread it does not have.
  ~HeadlessGame() { (void)GameDataHash(); }
  HeadlessGame(const HeadlessGame&) = delete;
  HeadlessGame& operator=(const HeadlessGame&) = delete;

  TMainForm& F() { return *form; }
  // Advances virtual time, firing timers and frame ticks as the real loop does.
  void Run(uint64_t ms) { platform::RunFor(plat, *form, ms); }
  void Frames(int n) { Run(static_cast<uint64_t>(n) * FramePeriodMs); }
  void Move(int x, int y) { form->OnMouseMove(x, y); }
  void Click(int x, int y, platform::MouseButton b = platform::MouseButton::Left) {
    form->OnMouseMove(x, y);
    form->OnMouseDown(b, x, y);
    form->OnMouseUp(b, x, y);
  }
  void Key(int key, platform::KeyMods mods = {}) {
    form->OnKeyDown(key, mods);
    form->OnKeyUp(key, mods);
  }
  // Sounds started since the last call.
  std::vector<std::string> Sounds() {
    std::vector<std::string> s(form->SoundLog.begin() + static_cast<long>(seenSounds_),
                               form->SoundLog.end());
    seenSounds_ = form->SoundLog.size();
    return s;
  }
  int Count(const char* cls) { return form->CountLiveByClassName(cls); }
  // The last presented frame.
  uint32_t Shown(int x, int y) { return plat.Record().Front.at(static_cast<size_t>(y) * 800 + x); }

  // From now on every text drawn goes to `texts` too.
  void RecordTexts() {
    plat.Get().Text = std::make_unique<RecordingText>(std::move(plat.Get().Text), texts);
  }
  // The texts drawn by the next frame.
  std::vector<TextCall> FrameTexts() {
    texts.clear();
    Frames(1);
    return texts;
  }

  TempGameDir dir;
  platform::HeadlessPlatform plat;
  std::vector<TextCall> texts;
  std::unique_ptr<TMainForm> form;

 private:
  size_t seenSounds_ = 0;
};

}  // namespace tk::testing
