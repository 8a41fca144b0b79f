// A recorded game: what the game was started with and everything it consumed from the
// outside world, in order, so that running the same journal on the same data replays the
// game exactly. Plain C++: the file format, its reader and its writer.
//
// File layout (integers little-endian, "varint" = unsigned LEB128, "text" = varint length
// then bytes):
//   magic "TKREPLAY", u16 format version (1, or 2 when the journal has Net entries),
//   text game version, u64 data hash, u32 seed, u64 clock at the start (ms),
//   start state (see TReplayStart), journal entries (each: u8 kind, varint ms since the
//   previous entry, payload), an End entry, the trailer (i32 score, level, lives, u8
//   entered-table flag, text player name), and a u64 checksum of everything before it.
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/HighScores.h"

namespace tk::replay {

// Version 2 added the Net entry; a journal without one is still written as version 1, so
// files of games that heard nothing from the network stay as they were.
constexpr uint16_t FormatVersion = 2;
constexpr uint16_t OldestFormatVersion = 1;

// What a finished request handed the game. Body and Error are clipped to MaxNetText bytes
// before the game sees them, so the journal holds exactly what the game was handed.
struct TNetReply {
  bool Ok = false;
  int32_t Status = 0;
  std::string Body, Error;
  bool operator==(const TNetReply&) const = default;
};
constexpr size_t MaxNetText = 4096;
void ClipNetReply(TNetReply& reply);

// One thing the game consumed, in the order it consumed them.
struct TEntry {
  enum Kind : uint8_t {
    End = 0,
    Tick = 1,       // a frame tick; Input holds the polled snapshot
    KeyDown = 2,    // Key, Mods
    KeyUp = 3,      // Key, Mods
    Char = 4,       // Ch (Windows-1251)
    MouseMove = 5,  // X, Y in the 800 x 600 space
    MouseDown = 6,  // Button, X, Y
    MouseUp = 7,    // Button, X, Y
    Activate = 8,   // Active: focus gained or lost
    Close = 9,      // the window's close button
    Resize = 10,    // the window was maximised
    Timer = 11,     // TimerIndex: which window timer fired (see TimerId)
    Switch = 12,    // a scene switch made from outside any event (tests, tools): Scene
    Mark = 13,      // a point where a scripted run looked at the state; the game ignores it
    Net = 14,       // a request finished: Purpose (the module's), Reply
  };
  Kind Type = End;
  uint64_t Time = 0;  // ms since the recording started
  uint8_t Input = 0;  // Tick: bit set of the polled inputs (InputBit)
  uint8_t Key = 0;
  uint8_t Mods = 0;  // bit 0 Alt, bit 1 Ctrl, bit 2 Shift
  uint8_t Ch = 0;
  int32_t X = 0, Y = 0;
  uint8_t Button = 0;  // 0 left, 1 right, 2 middle
  bool Active = false;
  uint8_t TimerIndex = 0;
  uint8_t Scene = 0;
  uint8_t Purpose = 0;
  TNetReply Reply;

  bool operator==(const TEntry&) const = default;
};

// The polled inputs of a tick, one bit each, and whether the tick found the window
// maximised (it looks when a resize is pending).
enum InputBit : uint8_t {
  InUp = 1, InDown = 2, InLeft = 4, InRight = 8, InFire = 16, InAltLeft = 32, InAltRight = 64,
  InMaximized = 128
};
// The window timers, in the order the loop looks at them.
enum TimerId : uint8_t { Timer1 = 0, Timer2 = 1, LevelTimer = 2, ShareTimer = 3 };

// The main window's state that outlives the main menu and that the game reads: what a
// replay must restore before it runs the journal.
struct TReplayStart {
  uint8_t Scene = 0;  // the scene the game was started from (the main menu)
  int32_t Level = 0, Score = 0, Lives = 0;
  int32_t MouseX = 0, MouseY = 0;
  double AimAngle = 0, AimAdjust = 0;
  bool AimCentred = false, FireHeld = false, AppInactive = false, Paused = false;
  bool GameSound = true, GameMusic = true, GameFullScreen = false, GameMainExit = false;
  bool GameEnterName = false, GameSendResult = false, GamegoEdit = false;
  bool GameClearHighScore = false, ResizePending = false, HoverSoundArmed = false;
  uint8_t TurnLeftCooldown = 0, TurnRightCooldown = 0, TurnUpCooldown = 0, JumpCooldown = 0,
          CaretBlink = 0;
  uint8_t Input = 0;  // the last polled snapshot
  int32_t NameTextWidth = 0;
  std::string Edit1, Edit2, PlayerCountry, PlayerName;  // Windows-1251
  THighScoreTable HighScores{};
  // Enabled flags of Timer1, Timer2, LevelTimer and sharetimer, and their intervals.
  std::array<bool, 4> TimerEnabled{};
  std::array<uint32_t, 4> TimerInterval{};

  bool operator==(const TReplayStart&) const = default;
};

struct TReplayTrailer {
  int32_t Score = 0, Level = 0, Lives = 0;
  bool EnteredTable = false;  // the game's result went into the high-score table
  std::string PlayerName;     // Windows-1251
  bool operator==(const TReplayTrailer&) const = default;
};

struct TReplay {
  uint16_t Version = OldestFormatVersion;  // as read; WriteReplay picks the one it needs
  std::string GameVersion;
  uint64_t DataHash = 0;
  uint32_t Seed = 0;
  uint64_t StartClock = 0;
  TReplayStart Start;
  std::vector<TEntry> Entries;  // without the End entry
  TReplayTrailer Trailer;
  bool operator==(const TReplay&) const = default;
};

// Why a file was refused.
class EReplayError : public std::runtime_error {
 public:
  enum Reason { NotReplay, OtherVersion, Damaged };
  EReplayError(Reason r, const std::string& what) : std::runtime_error(what), reason_(r) {}
  Reason reason() const { return reason_; }

 private:
  Reason reason_;
};

std::string WriteReplay(const TReplay& r);
// Throws EReplayError. The checksum is skipped only for fuzzing the parser behind it.
TReplay ReadReplay(std::string_view bytes, bool verifyChecksum = true);

// The version of this game, written into every replay.
const char* GameVersion();

// 64-bit FNV-1a, continued from h.
uint64_t Fnv1a(std::string_view bytes, uint64_t h = 0xcbf29ce484222325ull);

}  // namespace tk::replay
