#include "game/Pond.h"

#include <string>

#include "game/Frog.h"
#include "game/Grid.h"
#include "game/Hud.h"
#include "game/Lily.h"
#include "game/PlayScene.h"
#include "game/PondScenery.h"
#include "platform/Cp1251.h"
#include "replay/ReplayFile.h"

namespace tk::game {

namespace {

void MaybeAddLog(TMainForm& f, TPondState& p) {
  if (f.Random(5) != 0) return;
  const double x = 100 + f.Random(525);  // x is drawn before y
  const double y = 40 + f.Random(520);
  f.Engine().Add<TBrevno>(p, x, y);
}

void DrawPickup(TMainForm& f, TLilyCell& cell) {
  if (f.Random(20) == 0) cell.Pickup = f.Random(5) == 0 ? 1 : 2;
}

void CreateLilyRow(TMainForm& f, TPondState& p, int row) {
  for (int column = FirstColumn; column <= LastColumn; ++column)
    if (!(row == p.StoneRow && column == 1))  // the stone's place
      f.Engine().Add<TKuvshinka>(p, row, column, p.Lily(row, column).LilyKind);
}

}  // namespace

void BuildPondScene(TMainForm& f, TPondState& p, TFeedingState& fs) {
  f.Randomize();
  f.SetCursor(platform::Cursor::Hidden);
  p.StickyTries = 0;
  f.PlayMusic("2");
  if (f.MusicRestartPending) f.PlayMusic("2");
  f.MusicRestartPending = false;
  if (f.GameSound) f.PlaySound("fon1");
  BuildPond(f, p, fs);
}

void BuildPond(TMainForm& f, TPondState& p, TFeedingState& fs) {
  auto& e = f.Engine();
  e.Clear();
  e.Add<TSample>(p);  // first child: it moves first and drives the scroll
  MaybeAddLog(f, p);
  MaybeAddLog(f, p);
  e.Add<TStone>(p, 135.0 - 300.0 * (f.Level - 1));
  f.FireHeld = false;
  p.LifeLost = false;
  fs.StorkAllowed = true;
  p.StoneRow = 2 - 2 * (f.Level - 1);
  fs.StorkLeaving = false;
  p.StrandShown = false;
  p.FirstLilyBuild = true;
  p.UpJumpPending = false;
  p.SpringJumpPending = false;
  p.FrogFrozen = false;
  p.FrogCaught = false;
  p.Scrolling = false;
  p.TurnLeftCooldown = p.TurnRightCooldown = p.TurnUpCooldown = p.JumpCooldown = 0;
  p.FrogControllable = true;
  f.LevelTitleShown = true;
  p.FrogFell = false;
  e.Add<TScrollBackground>(p);
  FillLilyGrid(f, p);
  CreateLilySprites(f, p);
  e.Add<TPlayerSprite>(p);
  CreateHud(f, p);
  // The level title shows, and play waits, for 3.3 s from now.
  f.Timer1.SetEnabled(false);
  f.Timer1.SetInterval(3300);
  f.Timer1.SetEnabled(true);
}

void FillLilyGrid(TMainForm& f, TPondState& p) {
  p.Hunger = 0;
  for (int row = TopRow; row < FrogRow; ++row)
    for (int column = FirstColumn; column <= LastColumn; ++column) {
      TLilyCell& cell = p.Lily(row, column);
      cell.Pickup = 0;
      const int v = f.Random(100);
      if (v < 61) {
        cell.LilyKind = static_cast<uint8_t>(10 * f.Random(3));
        DrawPickup(f, cell);
      } else if (v <= 70) {
        cell.LilyKind = KindHunter;
      } else if (v <= 75) {
        // keeps the kind the previous layout had here
      } else if (v <= 85) {
        cell.LilyKind = KindSpring;
      } else if (v <= 95) {
        cell.LilyKind = KindSticky;
      } else {
        cell.LilyKind = KindCrocodile;
      }
    }
  // The frog starts on the bottom row, so it is always plain and bare.
  for (int column = FirstColumn; column <= LastColumn; ++column) {
    TLilyCell& cell = p.Lily(FrogRow, column);
    cell.LilyKind = static_cast<uint8_t>(10 * f.Random(3));
    cell.Pickup = 0;
  }
}

void AddLilyRow(TMainForm& f, TPondState& p) {
  MaybeAddLog(f, p);
  MaybeAddLog(f, p);
  for (int row = FrogRow - 1; row >= TopRow; --row)
    for (int column = FirstColumn; column <= LastColumn; ++column)
      p.Lily(row + 1, column) = p.Lily(row, column);
  for (int column = FirstColumn; column <= LastColumn; ++column) {
    TLilyCell& cell = p.Lily(TopRow, column);
    cell.Pickup = 0;
    const int v = f.Random(100);
    if (v < 71) {
      cell.LilyKind = KindSimple1;  // new rows use only the first plain look
      DrawPickup(f, cell);
    } else if (v <= 75) {
      cell.LilyKind = KindHunter;
    } else if (v <= 85) {
      cell.LilyKind = KindSpring;
    } else if (v <= 95) {
      cell.LilyKind = KindSticky;
    } else {
      cell.LilyKind = KindCrocodile;
    }
  }
}

void CreateLilySprites(TMainForm& f, TPondState& p) {
  p.StickyTries = 0;
  if (p.FirstLilyBuild) {
    p.FirstLilyBuild = false;
    for (int row = 0; row <= FrogRow; ++row) CreateLilyRow(f, p, row);
  } else {
    // The row that scrolled into view, and the next one above the screen. The row -1
    // lilies of the previous scroll are now on row 0 too, so row 0 holds two of each.
    CreateLilyRow(f, p, 0);
    CreateLilyRow(f, p, TopRow);
  }
}

void StartPendingScroll(TPondState& p) {
  if (p.UpJumpPending) {
    p.StoneRow += 1;
    p.ScrollRows = 1;
    p.UpJumpPending = false;
    p.Scrolling = true;
  }
  if (p.SpringJumpPending) {
    p.StoneRow += 2;
    p.ScrollRows = 2;
    p.SpringJumpPending = false;
    p.Scrolling = true;
  }
}

void PondTick(TMainForm& f, TPondState& p, TFeedingState& fs) {
  // The HUD's words, converted once rather than every tick.
  static const std::string pause = Cp("Пауза"), title = Cp("Уровень "),
                           level = Cp("Уровень: "), lives = Cp("Жизни: "), score = Cp("Очки: ");
  if (f.Paused || f.GameMainExit || f.LevelTitleShown || f.AppInactive) {
    // Frozen picture: nothing moves.
    f.SpriteEngine.FreeDead();
    f.FillSurface(0);
    f.SpriteEngine.Draw();
    if (f.Paused) HudText(f, 320, 290, pause, BannerPointSize);
    if (f.LevelTitleShown) HudText(f, 300, 290, title + std::to_string(f.Level), BannerPointSize);
  } else {
    f.SpriteEngine.Move(MoveUnits);
    f.SpriteEngine.FreeDead();
    f.FillSurface(0);
    f.SpriteEngine.Draw();
    if (!p.FrogFell) {
      if (p.StoneNotReached) {
        StartPendingScroll(p);
      } else {
        f.Wait(200);
        f.SwitchScene(SceneFeeding);
      }
    }
    if (p.LifeLost || p.Starved) {
      f.Wait(500);
      if (f.Lives > 1) {
        f.Lives -= 1;
        BuildPond(f, p, fs);
      } else {
        f.Wait(200);
        f.GameOver = true;
      }
    }
    if (f.GameOver) f.SwitchScene(SceneGameOver);
  }
  HudText(f, 150, -3, level + std::to_string(f.Level), StatusPointSize);
  HudText(f, 340, -3, lives + std::to_string(f.Lives), StatusPointSize);
  HudText(f, 530, -3, score + std::to_string(f.Score), StatusPointSize);
}

void PondTimer1(TMainForm& f) {
  f.LevelTitleShown = false;  // the title goes and play starts
  f.FireHeld = false;
}

void RegisterPond(TMainForm& form, TPondState& pond, TFeedingState& feeding) {
  TMainForm* f = &form;
  TPondState* p = &pond;
  TFeedingState* fs = &feeding;
  auto& scene = form.Scenes[ScenePond];
  scene.Build = [f, p, fs] { BuildPondScene(*f, *p, *fs); };
  scene.Tick = [f, p, fs] { PondTick(*f, *p, *fs); };
  scene.Timer1 = [f] { PondTimer1(*f); };
  scene.KeyDown = [f](int key, platform::KeyMods mods) { PondKeyDown(*f, key, mods); };
  scene.Pause = [f] { PondPause(*f); };
  scene.MouseMove = [f] {
    f->SetCursor(platform::Cursor::Hidden);
    PromptMouseMove(*f);
  };
  scene.MouseDown = [f](platform::MouseButton) { PromptMouseDown(*f); };
  scene.Leave = [f] { LeavePlayScene(*f); };
  form.Hooks.FrameSteps.push_back([p] { CountCooldownsDown(*p); });
  form.Hooks.SaveReplayStart.push_back([p](replay::TReplayStart& s) {
    // Leaving the main menu for the pond clears them before anything reads them: a game
    // recorded from there starts them at 0.
    const TPondState fresh;
    const TPondState& from = s.Scene == SceneMainMenu ? fresh : *p;
    s.TurnLeftCooldown = from.TurnLeftCooldown;
    s.TurnRightCooldown = from.TurnRightCooldown;
    s.TurnUpCooldown = from.TurnUpCooldown;
    s.JumpCooldown = from.JumpCooldown;
  });
  form.Hooks.RestoreReplayStart.push_back([p](const replay::TReplayStart& s) {
    p->TurnLeftCooldown = s.TurnLeftCooldown;
    p->TurnRightCooldown = s.TurnRightCooldown;
    p->TurnUpCooldown = s.TurnUpCooldown;
    p->JumpCooldown = s.JumpCooldown;
  });
}

void CountCooldownsDown(TPondState& p) {
  for (uint8_t* c : {&p.TurnLeftCooldown, &p.TurnRightCooldown, &p.TurnUpCooldown,
                     &p.JumpCooldown})
    if (*c > 0) --*c;
}

void PondPause(TMainForm& f) {
  f.Paused = !f.Paused;
  f.LevelTitleShown = false;
  f.Timer1.SetEnabled(!f.Timer1.Enabled());  // the level title's wait stands still
}

void PondKeyDown(TMainForm& f, int key, platform::KeyMods mods) {
  namespace vk = platform::vk;
  if (key == 'P' && !f.GameMainExit) PondPause(f);
  f.FireHeld = key == vk::Space || mods.Ctrl || (key == vk::Enter && !mods.Alt);
  PlaySceneEsc(f, key);
}

}  // namespace tk::game
