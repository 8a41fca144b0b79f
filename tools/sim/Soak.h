// The soak player: plays the whole game on the headless platform with seeded random input,
// tick after tick (menus, ponds, feeding stages, game over, name entry, back to the menu),
// and watches for reported errors, a growing sprite tree and a growing heap.
// tinokvak-sim's --soak mode and the soak unit test both drive the game through it.
#pragma once

#include <malloc.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "Uniform.h"
#include "game/PondState.h"
#include "online/State.h"
#include "persist/Settings.h"
#include "platform/headless/Headless.h"
#include "shell/MainForm.h"

#if defined(__SANITIZE_ADDRESS__)
#define TK_SOAK_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TK_SOAK_ASAN 1
#endif
#endif
#ifdef TK_SOAK_ASAN
// From the sanitizer runtime (its header is not always installed).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace tk::sim {

// Bytes the program has allocated and not yet freed (the sanitizer's count under
// AddressSanitizer, whose quarantine would otherwise hide what the game holds).
inline size_t HeapInUse() {
#ifdef TK_SOAK_ASAN
  return __sanitizer_get_current_allocated_bytes();
#elif defined(__EMSCRIPTEN__)
  return mallinfo().uordblks;
#else
  return mallinfo2().uordblks;
#endif
}

struct SoakReport {
  uint64_t Ticks = 0;
  int PeakSprites = 0;
  std::string PeakSpritesScene;
  std::map<std::string, uint64_t> TicksByScene;
  int Games = 0, PondStages = 0, FeedingStages = 0, GameOvers = 0, NameEntries = 0;
  int Recorded = 0, MaxLevel = 0;
  std::vector<std::string> Messages;  // message boxes the game showed (Windows-1251)
  bool Closed = false;                // the game closed itself
  bool Stuck = false;                 // a scene that no input could leave for too long
  std::string StuckScene;
  std::vector<size_t> MenuHeap;  // heap in use on every return to the main menu
};

class SoakPlayer {
 public:
  SoakPlayer(platform::HeadlessPlatform& plat, TMainForm& form, uint32_t seed)
      : plat_(plat), f_(form), rng_(seed) {}

  // Called after every tick with the current scene and the ticks spent in it so far.
  std::function<void(uint8_t scene, uint64_t ticksInScene)> AfterTick;

  // Plays n more ticks (or until the game closes or stalls).
  void Play(uint64_t n) {
    for (uint64_t i = 0; i < n && !report_.Closed && !report_.Stuck; ++i) Tick();
  }
  const SoakReport& Report() const { return report_; }

  // Longest stay in one scene before the run counts as stuck: a feeding stage at level
  // L lasts 10 L + 30 s, a pond has no clock but loses lives.
  static constexpr uint64_t StuckTicks = 20000;

 private:
  using Ev = platform::HeadlessEvent;

  int R(int n) { return UniformBelow(rng_, n); }
  // A point in the box at (x0, y0); its y is drawn before its x, the order all soak runs
  // so far have used (the README's feeding picture comes from one).
  struct Point {
    int X, Y;
  };
  Point Anywhere(int x0 = 0, int w = 800, int y0 = 0, int h = 600) {
    const int y = y0 + R(h);
    return {x0 + R(w), y};
  }
  void MoveTo(Point p) { MoveTo(p.X, p.Y); }
  bool Chance(int inN) { return R(inN) == 0; }

  // Advances virtual time by ms, firing timers and frame ticks as the real loop does.
  void Advance(uint64_t ms) { platform::RunFor(plat_, f_, ms); }

  // Keeps the queue in time order; events due together keep the order they were pushed.
  void Push(Ev e, int delayTicks = 0) {
    const uint64_t at = tick_ + static_cast<uint64_t>(delayTicks);
    auto it = std::find_if(queue_.begin(), queue_.end(), [&](const Scheduled& s) { return s.At > at; });
    queue_.insert(it, {at, e});
  }
  // No new decision for the next n ticks.
  void Pause(int n) { idleUntil_ = std::max(idleUntil_, tick_ + static_cast<uint64_t>(n)); }
  void Down(int key, int delay = 0, platform::KeyMods m = {}) {
    Ev e{Ev::KeyDown};
    e.Key = key;
    e.Mods = m;
    Push(e, delay);
  }
  void Up(int key, int delay = 0) {
    Ev e{Ev::KeyUp};
    e.Key = key;
    Push(e, delay);
  }
  // Held for `ticks` frames, long enough for the polled input to see it.
  void Tap(int key, int ticks = 2, int delay = 0) {
    Down(key, delay);
    Up(key, delay + ticks);
  }
  void Key(int key, platform::KeyMods m = {}) {
    Down(key, 0, m);
    Up(key, 0);
  }
  void MoveTo(int x, int y) {
    Ev e{Ev::MouseMove};
    e.X = x;
    e.Y = y;
    Push(e);
  }
  void Click(int x, int y, platform::MouseButton b = platform::MouseButton::Left) {
    MoveTo(x, y);
    Ev e{Ev::MouseDown};
    e.X = x;
    e.Y = y;
    e.Button = b;
    Push(e);
    e.Type = Ev::MouseUp;
    Push(e);
  }
  void Type(uint8_t ch) {
    Ev e{Ev::Char};
    e.Ch = ch;
    Push(e);
  }
  bool Busy() const { return !queue_.empty() || tick_ < idleUntil_; }

  void Tick() {
    const uint8_t scene = f_.CurrentScene;
    if (scene != lastScene_) Entered(scene);
    if (!Busy()) Choose(scene);
    // Due events go in before the tick, as a window's queue would deliver them.
    while (!queue_.empty() && queue_.front().At <= tick_) {
      plat_.Push(queue_.front().E);
      queue_.pop_front();
    }
    Advance(FramePeriodMs);
    ++tick_;
    ++inScene_;
    Watch();
    if (AfterTick) AfterTick(f_.CurrentScene, inScene_);
  }

  void Entered(uint8_t scene) {
    // Keys held into a new scene would only confuse the next decision.
    queue_.clear();
    idleUntil_ = 0;
    for (int k = 0; k < 256; ++k)
      if (plat_.KeyHeld(k)) {
        Ev e{Ev::KeyUp};
        e.Key = k;
        plat_.Push(e);
      }
    lastScene_ = scene;
    inScene_ = 0;
    switch (scene) {
      case SceneMainMenu:
        report_.MenuHeap.push_back(HeapInUse());
        break;
      case ScenePond:
        if (!inGame_) ++report_.Games;
        inGame_ = true;
        ++report_.PondStages;
        break;
      case SceneFeeding:
        ++report_.FeedingStages;
        break;
      case SceneGameOver:
        ++report_.GameOvers;
        inGame_ = false;
        sawEntry_ = false;
        break;
      case SceneHighScores:
        if (lastWasGameOver_) ++report_.Recorded;
        break;
      default:
        break;
    }
    if (scene != SceneGameOver && scene != ScenePond && scene != SceneFeeding) inGame_ = false;
    lastWasGameOver_ = scene == SceneGameOver;
  }

  void Watch() {
    report_.Ticks = tick_;
    ++report_.TicksByScene[SceneName(f_.CurrentScene)];
    const int sprites = f_.Engine().ChildCount();
    if (sprites > report_.PeakSprites) {
      report_.PeakSprites = sprites;
      report_.PeakSpritesScene = SceneName(f_.CurrentScene);
    }
    report_.MaxLevel = std::max(report_.MaxLevel, f_.Level);
    auto& msgs = plat_.Record().Messages;
    for (; seenMessages_ < msgs.size(); ++seenMessages_) report_.Messages.push_back(msgs[seenMessages_]);
    if (f_.GameEnterName && !sawEntry_) {
      sawEntry_ = true;
      ++report_.NameEntries;
    }
    report_.Closed = f_.Closed();
    if (inScene_ > StuckTicks) {
      report_.Stuck = true;
      report_.StuckScene = SceneName(f_.CurrentScene);
    }
  }

  void Choose(uint8_t scene) {
    // Now and then the window loses the foreground for a moment, or is maximised.
    if (Chance(4000)) {
      Ev e{Ev::Activate};
      e.Active = false;
      Push(e);
      e.Active = true;
      Push(e, 5 + R(40));
      return;
    }
    if (Chance(15000)) {
      Push(Ev{Ev::Resize});
      return;
    }
    switch (scene) {
      case SceneMainMenu: MainMenu(); break;
      case SceneHelp: Help(); break;
      case SceneOptions: Options(); break;
      case SceneHighScores: HighScores(); break;
      case ScenePond: Pond(); break;
      case SceneFeeding: Feeding(); break;
      case SceneGameOver: GameOver(); break;
      default: break;  // the logo runs out by itself
    }
  }

  // The exit prompt of the play scenes: mostly back to play, sometimes giving up.
  void PlayPrompt() {
    const int r = R(100);
    if (r < 5) {
      Key(platform::vk::Esc);
    } else if (r < 7) {
      Click(460, 325, platform::MouseButton::Right);  // No
    } else if (r < 8) {
      Click(335, 322);  // Yes: the game ends
    }
  }

  void MainMenu() {
    if (f_.GameMainExit) {
      // Never Yes here: that leaves the program.
      if (Chance(10)) {
        if (Chance(2))
          Key(platform::vk::Esc);
        else
          Click(465, 325);
      }
      return;
    }
    if (inScene_ < 10 || !Chance(20)) {
      if (Chance(8)) MoveTo(Anywhere());
      return;
    }
    const int r = R(100);
    if (r < 78) {
      Key(platform::vk::Enter);
    } else if (r < 83) {
      Click(540, 410);  // Help
    } else if (r < 88) {
      Click(540, 260);  // Options
    } else if (r < 93) {
      Click(540, 330);  // High scores
    } else if (r < 97) {
      Key(platform::vk::Esc);  // the exit prompt
    } else if (r < 98) {
      Click(540, 476);  // the web site link
    } else {
      Key(platform::vk::Enter, {true, false, false});  // full screen and back
    }
  }

  void Help() {
    if (inScene_ > 60 && Chance(30)) {
      if (Chance(2))
        Key(platform::vk::Esc);
      else
        Click(440, 540);  // Back
      return;
    }
    if (Chance(6)) {
      const Point p = Anywhere(560, 200, 500, 80);  // the paging arrows
      Click(p.X, p.Y);
    } else if (Chance(10)) {
      MoveTo(Anywhere());
    }
  }

  void Options() {
    if (inScene_ > 90 && Chance(40)) {
      Key(platform::vk::Esc);
      return;
    }
    const int r = R(60);
    if (r == 0) {
      static const int ys[] = {233, 294, 354};
      const int y = ys[R(3)];  // a choice of the three rows
      Click(270 + R(180), y);
    } else if (r == 1) {
      Click(450, 420);  // the country field
    } else if (r < 5 && f_.GamegoEdit) {
      static const char letters[] = "abcXYZ129";
      Type(static_cast<uint8_t>(letters[R(sizeof letters - 1)]));
    } else if (r == 5) {
      Key(platform::vk::Backspace);
    } else if (r < 9) {
      MoveTo(Anywhere());
    }
  }

  void HighScores() {
    if (f_.GameClearHighScore) {
      if (Chance(15)) {
        const int r = R(3);
        if (r == 0) Key(platform::vk::Esc);
        else if (r == 1) Click(465, 325);  // No
        else Click(335, 325);              // Yes: the default table
      }
      return;
    }
    if (inScene_ > 60 && Chance(30)) {
      if (Chance(2))
        Key(platform::vk::Esc);
      else
        Click(100, 460);  // Back
      return;
    }
    if (Chance(400)) Click(100, 237);  // Clear
    else if (Chance(12)) MoveTo(Anywhere());
  }

  void Pond() {
    if (f_.GameMainExit) return PlayPrompt();
    if (f_.Paused) {
      if (Chance(40)) Key('P');
      return;
    }
    if (f_.LevelTitleShown) {
      if (Chance(200)) Key('P');  // the pause also ends the title
      return;
    }
    const int r = R(1000);
    if (r < 3) {
      Key('P');
    } else if (r < 5) {
      Key(platform::vk::Esc);
    } else if (r < 40) {
      const auto button = Chance(2) ? platform::MouseButton::Left : platform::MouseButton::Right;
      const Point p = Anywhere();
      Click(p.X, p.Y, button);
    } else if (r < 200) {
      // Head for the stone's column and up; now and then anywhere.
      int dir;  // 0 left, 1 right, 2 up
      if (Chance(5))
        dir = R(3);
      else if (f_.Module<game::TPondState>().FrogColumn > 0 && Chance(2))
        dir = 0;
      else
        dir = 2;
      const int turn = dir == 0 ? platform::vk::Left : dir == 1 ? platform::vk::Right : platform::vk::Up;
      Tap(turn, 2);
      // Space, or Enter and Ctrl through the key-down rule.
      const int fire = R(10);
      if (fire < 7) {
        Tap(platform::vk::Space, 2, 3);
      } else if (fire < 9) {
        Down(platform::vk::Enter, 3);
        Up(platform::vk::Enter, 6);
      } else {
        Down('X', 3, {false, true, false});
        Up('X', 6);
      }
      // Let the hop or the scroll finish before the next decision.
      Pause(20 + R(30));
    }
  }

  void Feeding() {
    if (f_.GameMainExit) return PlayPrompt();
    if (f_.Paused) {
      if (Chance(30)) Key('P');
      return;
    }
    const int r = R(1000);
    if (r < 2) {
      Key('P');
    } else if (r < 4) {
      Key(platform::vk::Esc);
    } else if (r < 200) {
      MoveTo(Anywhere(300, 200));  // the aim follows x 333..467
    } else if (r < 260) {
      const int hold = 3 + R(25);
      if (Chance(3)) {
        Ev d{Ev::MouseDown, 0, {}, 0, 300 + R(200), R(600)};
        d.Button = Chance(2) ? platform::MouseButton::Left : platform::MouseButton::Right;
        Push(d);
        Ev u = d;
        u.Type = Ev::MouseUp;
        Push(u, hold);
      } else {
        Tap(platform::vk::Space, hold);
      }
    } else if (r < 330) {
      static const int walk[] = {platform::vk::Left, platform::vk::Right, 'A', 'D'};
      const int ticks = 5 + R(40);
      Tap(walk[R(4)], ticks);
    } else if (r < 350) {
      static const int aim[] = {platform::vk::Up, platform::vk::Down, 'W', 'S'};
      const int ticks = 2 + R(20);
      Tap(aim[R(4)], ticks);
    }
  }

  void GameOver() {
    const std::string& name = f_.Module<online::TOnlineState>().Edit2;
    if (f_.GameEnterName) {
      if (f_.GamegoEdit && name.size() < 3 + static_cast<size_t>(R(6))) {
        if (Chance(4)) {
          // Latin and Cyrillic letters (Windows-1251), and now and then one that is refused.
          static const uint8_t chars[] = {'K', 'v', 'a', '7', 0xC6, 0xE0, 0xE1, 0xFF, ' ', '!'};
          Type(chars[R(sizeof chars)]);
        } else if (Chance(60)) {
          Key(platform::vk::Backspace);
        }
        return;
      }
      if (Chance(10)) {
        if (!f_.GamegoEdit && name.empty())
          Click(400, 330);  // the name field
        else
          Key(platform::vk::Enter);
      }
      return;
    }
    if (f_.Timer1.Enabled()) return;  // the banner's five seconds
    if (NameEntryOpens(f_.HighScores, f_.Score)) return;  // the name entry is on its way
    if (Chance(20)) {
      if (Chance(3)) {
        const Point p = Anywhere();
        Click(p.X, p.Y);
      } else {
        Key(Chance(2) ? platform::vk::Enter : platform::vk::Esc);
      }
    }
  }

  struct Scheduled {
    uint64_t At;
    Ev E;
  };

  platform::HeadlessPlatform& plat_;
  TMainForm& f_;
  std::mt19937 rng_;
  std::deque<Scheduled> queue_;
  uint64_t tick_ = 0, inScene_ = 0, idleUntil_ = 0;
  uint8_t lastScene_ = SceneNone;
  bool inGame_ = false, lastWasGameOver_ = false, sawEntry_ = false;
  size_t seenMessages_ = 0;
  SoakReport report_;
};

}  // namespace tk::sim
