#include "game/Feeding.h"

#include <string>

#include "game/Eat.h"
#include "game/Hud.h"
#include "game/Insect.h"
#include "game/Stork.h"
#include "game/Tongue.h"
#include "platform/Cp1251.h"

namespace tk::game {

void RegisterFeeding(TMainForm& form) {
  TMainForm* f = &form;
  auto& scene = form.Scenes[SceneFeeding];
  scene.Build = [f] { BuildFeedingScene(*f); };
  scene.Tick = [f] { FeedingTick(*f); };
}

void BuildFeedingScene(TMainForm& f) {
  auto& e = f.Engine();
  auto* bg = e.Add<TBackgroundSprite>();
  bg->ResizeMap(1, 1);
  bg->Image = &f.FindImage("bg2");
  bg->Wrap = true;
  bg->SetZ(-2);
  f.AimAdjust = 0;
  f.StorkLegsCalled = false;
  f.StorkLegsDown = false;
  if (f.GameSound) f.PlaySound("fon2");
  f.TongueLength = 0;
  e.Add<TPlayerSpriteEat>();
  e.Add<TIazik>();
  e.Add<TKonec_Iazik>();
  CreateHud(f);
  // The tongue points straight up until the pointer first moves.
  f.AimCentred = true;
  f.TimeLeft = FeedingTime(f.Level);
  f.LevelTimer.SetInterval(1000);
  f.LevelTimer.SetEnabled(true);
}

namespace {

void DrawScene(TMainForm& f) {
  f.FillSurface(0);
  f.SpriteEngine.Draw();
}

}  // namespace

void FeedingTick(TMainForm& f) {
  const std::string time = Cp("Время:"), lives = Cp("Жизни:"), score = Cp("Очки:");
  auto runningStatus = [&] {
    HudText(f, 143, 0, time, StatusPointSize);
    HudText(f, 230, 0, std::to_string(f.TimeLeft), StatusPointSize);
    HudText(f, 338, 0, lives, StatusPointSize);
    HudText(f, 450, 0, std::to_string(f.Lives), StatusPointSize);
    HudText(f, 528, 0, score, StatusPointSize);
    HudText(f, 650, 0, std::to_string(f.Score), StatusPointSize);
  };
  if (f.Paused || f.GameMainExit || f.AppInactive) {
    // Frozen: nothing moves, spawns or ends while the pause or the exit prompt is up, or
    // while the window is away (the stage clock is held meanwhile, see HoldStageClock).
    f.SpriteEngine.FreeDead();
    DrawScene(f);
    if (!f.Paused && !f.GameMainExit) {
      // Only the window is away: the picture stays exactly as the player left it.
      runningStatus();
      return;
    }
    if (f.Paused) HudText(f, 320, 270, Cp("Пауза"), BannerPointSize);
    HudText(f, 143, 0, time, StatusPointSize);
    HudText(f, 230, 0, std::to_string(f.TimeLeft), StatusPointSize);
    HudText(f, 338, 0, lives, StatusPointSize);
    HudText(f, 450, 0, std::to_string(f.Lives), StatusPointSize);
    HudText(f, 530, 0, score + std::to_string(f.Score), StatusPointSize);
    return;
  }
  f.SpriteEngine.Move(MoveUnits);
  f.SpriteEngine.FreeDead();
  DrawScene(f);
  runningStatus();

  SpawnInsect(f);
  if (f.TimeLeft < 0) {
    // Time is up: the next level's pond. Leaving the stage clears its sprites and sounds.
    ++f.Level;
    f.SwitchScene(ScenePond);
    f.StoneNotReached = true;
  }
  // The stork may take the last lives on the very tick the stage ends.
  if (f.Lives <= 0) f.SwitchScene(SceneGameOver);
  // Only a running stage calls the stork; a switch above has left it.
  if (f.CurrentScene != SceneFeeding) return;
  CallStorkLegs(f);
  CallStorkHead(f);
}

}  // namespace tk::game
