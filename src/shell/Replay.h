// Recording and replaying games. The recorder journals what the main window consumes from
// the outside world (events, frame ticks with their polled inputs, window-timer firings)
// from the start of a game to its end; the player feeds such a journal back to a main
// window in the same order, so the game runs exactly as it was played.
#pragma once

#include <cstdint>
#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "replay/ReplayFile.h"

namespace tk {

class TMainForm;
class TFileBytes;
struct TInputState;

uint8_t InputBits(const TInputState& in);
TInputState InputFromBits(uint8_t bits);

// A hash of the game data that decides what happens in a game (the pictures' sizes and
// masks, the sounds' lengths): Data\Graphic.dxg and Data\Music.dxw.
// Each archive is read for it only when the game has not loaded that very file (same size,
// times and inode) already: loading notes the hash of what it read (NoteGameData), and a
// run with a cache file takes the hash of a file it has seen before from there.
uint64_t GameDataHash();
// Called with the bytes of one of the two archives as they are loaded: hashed now.
void NoteGameData(std::string_view name, std::string_view bytes);
// The same for the bytes the game keeps: hashed on a worker thread while the game goes on
// (GameDataHash waits for it), or not at all when the cache knows this very file.
void NoteGameData(std::string_view name, std::shared_ptr<const TFileBytes> bytes);
// Keeps the hashes in this file between runs, for a program that starts once per replay it
// checks. An entry is used only for the same file (device, inode, size, modification and
// change time) hashed from the same value; anything else in the file is hashed again and
// written over. Empty: no cache (the game itself keeps none).
void UseGameDataHashCache(std::filesystem::path file);
// $XDG_CACHE_HOME/tinokvak/game-data-hash, else ~/.cache/tinokvak/game-data-hash; empty
// when neither names an absolute folder.
std::filesystem::path DefaultGameDataHashCache();

// Reads a replay file for this game: throws replay::EReplayError when the file is no replay
// this version can read, or was recorded with other game data.
replay::TReplay ReadReplayForThisGame(const std::string& path);
// The same in two steps, so the data can be checked after the game has loaded (and hashed)
// it: reading throws for a file that is no replay this version can read, checking for one
// recorded with other game data.
replay::TReplay ReadReplayFile(const std::string& path);
void CheckReplayData(const replay::TReplay& r);

// A replay offered as the proof of a result holds one whole game and nothing else: it starts
// on the main menu in a state the game can be in before a new game begins (no game in
// progress, a new game's values; what the player may change there - the options, the
// table, the texts - as they were), its journal starts that game with its first entry and
// makes no scene switches of its own. Returns why the file is not such a replay, or "".
// The rest (the first entry starts the game, the last ends it with its name entry) shows
// only when it plays: TReplayPlayer::WholeGame.
std::string WhyNotAWholeGame(const replay::TReplay& r);

class TReplayRecorder {
 public:
  explicit TReplayRecorder(TMainForm& form) : f_(form) {}

  // Records every game started from the main menu when set.
  bool Enabled = false;
  // Receives each finished recording: at the game's end, or at Finish.
  std::function<void(replay::TReplay&&)> OnFinished;

  bool Active() const { return active_; }
  // Starts recording now (tests and tools; a game started from the main menu starts it by
  // itself). Scene switches made from outside any event are journaled from now on.
  void Start();
  // Ends an active recording now, with the current score, level and lives as its result.
  void Finish();
  // Journals a point where a scripted run looks at the state.
  void Mark();

  // ---- Called by the main window
  // An event, tick or timer firing is about to be handled (journaled when recording), at
  // `at` when given (a timer firing: the time its poll saw), else now.
  void Begin(const replay::TEntry& e, std::optional<uint64_t> at = std::nullopt);
  void End() { --depth_; }
  // SwitchScene(to) is about to leave `from`.
  void SceneSwitch(uint8_t from, uint8_t to);

 private:
  void Journal(replay::TEntry e);
  void Complete(bool enteredTable);
  TMainForm& f_;
  bool active_ = false;
  int depth_ = 0;
  replay::TEntry current_;  // the entry being handled, time in absolute ms
  replay::TReplay rec_;
  std::optional<uint64_t> dataHash_;
};

// Handles one entry while the scope lives (the main window's hook around its handlers).
class TJournalScope {
 public:
  TJournalScope(TReplayRecorder* r, const replay::TEntry& e, std::optional<uint64_t> at = std::nullopt)
      : r_(r) {
    if (r_) r_->Begin(e, at);
  }
  ~TJournalScope() {
    if (r_) r_->End();
  }
  TJournalScope(const TJournalScope&) = delete;
  TJournalScope& operator=(const TJournalScope&) = delete;

 private:
  TReplayRecorder* r_;
};

// Drives a main window (after FormCreate) from a recorded game.
class TReplayPlayer {
 public:
  TReplayPlayer(TMainForm& form, const replay::TReplay& r) : f_(form), r_(r) {}
  // Restores the state the game was started from: scene, fields, seed and timers.
  void Setup();
  bool Done() const { return next_ >= r_.Entries.size() || !refusal_.empty(); }
  size_t Position() const { return next_; }
  // The clock at which the next entry was handled when the game was recorded.
  uint64_t NextClock() const { return r_.StartClock + r_.Entries[next_].Time; }
  const replay::TEntry& Next() const { return r_.Entries[next_]; }
  // Hands the next entry to the game.
  void Step();
  std::function<void()> OnMark;

  // Set before Setup to play the replay as the proof of a result: the file must pass
  // WhyNotAWholeGame, its first entry must take the game from the main menu into play, every
  // other entry must leave it in play, and the last must end it as only a finished game
  // ends: from the game-over screen, its name entered, into the high-score table. The
  // player stops at the first entry that breaks this (Done) and tells why (Refusal).
  bool WholeGame = false;
  const std::string& Refusal() const { return refusal_; }
  // The whole game was played to its end as the rules above ask.
  bool EndedAsAWholeGame() const { return WholeGame && refusal_.empty() && Done() && ended_; }
  // Set before Setup (always with WholeGame) to hold every journaled timer firing to the
  // schedule the replayed game gave its timers: a firing while the timer is stopped or
  // before it is due, or a due firing missing from the journal, stops the player with the
  // reason (Refusal). A timer running when the replay starts has an unknown phase: it is due
  // within one period of the start, and exactly so once it fires or the game restarts it.
  bool CheckTimers = false;

 private:
  void Handle(const replay::TEntry& e);
  void CheckTimerEntry(const replay::TEntry& e, uint64_t now);
  void FollowTimers(const replay::TEntry& e, uint64_t now);
  // What the checks know of each window timer: when it is next due, whether that is exact,
  // and how it stood before the entry being handled.
  struct TTimerWatch {
    uint64_t Due = 0;
    bool Known = true;
    bool Enabled = false, Held = false;
    uint32_t Interval = 0;
    uint64_t TimerDue = 0;
  };
  std::array<TTimerWatch, 4> watch_{};
  std::optional<uint64_t> lastTick_;
  TMainForm& f_;
  const replay::TReplay& r_;
  size_t next_ = 0;
  std::string refusal_;
  bool ended_ = false;
};

}  // namespace tk
