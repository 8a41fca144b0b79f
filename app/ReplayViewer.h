// Watching a recorded game: the game run from its journal on a clock of its own that
// follows the viewer's clock (four times as fast while asked, standing still while paused),
// shown through the viewer's display with its marks. The desktop's window
// (tinokvak --replay) and the browser's page (/play/?watch=ID) both watch through this; the
// viewer's own keys and pointer never reach the game.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ViewerDisplay.h"
#include "platform/Platform.h"
#include "replay/ReplayFile.h"
#include "shell/MainForm.h"
#include "shell/Replay.h"

namespace tk {

// The viewer's keys: Space pauses, the right arrow runs at four times while held, R starts
// again from the beginning, Esc or the window's close button leaves.
class TViewerKeys : public platform::IEventSink {
 public:
  void OnKeyDown(int key, platform::KeyMods) override;
  void OnKeyUp(int key, platform::KeyMods) override;
  void OnChar(uint8_t) override {}
  void OnMouseMove(int, int) override {}
  void OnMouseDown(platform::MouseButton, int, int) override {}
  void OnMouseUp(platform::MouseButton, int, int) override {}
  void OnCloseRequest() override { Leave = true; }
  void OnActivate(bool) override {}
  void OnResize() override {}
  bool Paused = false, Fast = false, Leave = false, Restart = false;
};

// One replay watched from its start. The real platform lends its display (wrapped in the
// viewer's), its sound and its text for as long as the viewer lives; the game gets none of
// its input, clock, shell or network.
class TReplayViewer {
 public:
  // r must be a replay for this game (ReadReplayForThisGame) and outlive the viewer. With
  // recordSounds the game keeps the names of the sounds it starts, for its state line.
  TReplayViewer(platform::Platform& real, const replay::TReplay& r, bool recordSounds = false);
  ~TReplayViewer();
  TReplayViewer(const TReplayViewer&) = delete;
  TReplayViewer& operator=(const TReplayViewer&) = delete;

  // Starts the game in the replay's start state; false when the game cannot start.
  bool Start();
  // Moves the replay on by wallMs of the viewer's time (times four when fast, not at all
  // when paused) and runs every entry due by then; the marks follow.
  void Run(uint64_t wallMs, bool paused, bool fast);

  // Called at each of the journal's marks (where the recording's script looked at the state).
  std::function<void()> OnMark;

  bool Done() const { return player_->Done(); }
  bool Closed() const { return form_->Closed(); }
  const std::string& Refusal() const { return player_->Refusal(); }
  size_t Position() const { return player_->Position(); }
  // The viewer's time that passes before the next entry is due at normal speed (0 when one
  // is due now; a long wait when the replay is over).
  uint64_t MsUntilNext() const;
  TMainForm& Form() { return *form_; }
  const replay::TReplay& File() const { return r_; }
  // The game's clock: the time of the entry run last.
  uint64_t GameNow() const;
  // Message boxes the game showed and targets it would have opened (1251), for its state.
  const std::vector<std::string>& Messages() const;
  const std::vector<std::string>& Opened() const;

 private:
  platform::Platform& real_;
  const replay::TReplay& r_;
  platform::Platform p_;
  class Clock;
  class Shell;
  Clock* clock_ = nullptr;
  Shell* shell_ = nullptr;
  ReplayDisplay* viewer_ = nullptr;
  std::unique_ptr<TMainForm> form_;
  std::unique_ptr<TReplayPlayer> player_;
  uint64_t at_ = 0;  // the replay's time reached
};

}  // namespace tk
