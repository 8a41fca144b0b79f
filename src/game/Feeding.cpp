#include "game/Feeding.h"

#include <string>

#include "game/Eat.h"
#include "game/Hud.h"
#include "game/Insect.h"
#include "game/PlayScene.h"
#include "game/Stork.h"
#include "game/Tongue.h"
#include "platform/Cp1251.h"
#include "replay/ReplayFile.h"

namespace tk::game {

void RegisterFeeding(TMainForm& form, TFeedingState& feeding, TPondState& pond) {
  TMainForm* f = &form;
  TFeedingState* fs = &feeding;
  TPondState* p = &pond;
  auto& scene = form.Scenes[SceneFeeding];
  scene.Build = [f, fs, p] { BuildFeedingScene(*f, *fs, *p); };
  scene.Tick = [f, fs, p] { FeedingTick(*f, *fs, *p); };
  scene.KeyDown = [f](int key, platform::KeyMods mods) { FeedingKeyDown(*f, key, mods); };
  scene.Pause = [f] { FeedingPause(*f); };
  scene.MouseMove = [f, fs] {
    fs->AimCentred = false;  // the tongue follows the pointer from now on
    f->SetCursor(platform::Cursor::Hidden);
    PromptMouseMove(*f);
  };
  scene.MouseDown = [f](platform::MouseButton) {
    f->FireHeld = true;
    PromptMouseDown(*f);
  };
  scene.Leave = [f, p] {
    LeavePlayScene(*f);
    // The next pond's stone is out of reach again, however the stage was left.
    p->StoneNotReached = true;
  };
  scene.ClockStopsWhileAway = true;
  form.LevelTimer.OnTimer = [fs] { --fs->TimeLeft; };
  form.Hooks.FrameSteps.push_back([f, fs] { AimTongue(*f, *fs); });
  form.Hooks.SaveReplayStart.push_back([fs](replay::TReplayStart& s) {
    s.AimAngle = fs->AimAngle;
    s.AimAdjust = fs->AimAdjust;
    s.AimCentred = fs->AimCentred;
  });
  form.Hooks.RestoreReplayStart.push_back([fs](const replay::TReplayStart& s) {
    fs->AimAngle = s.AimAngle;
    fs->AimAdjust = s.AimAdjust;
    fs->AimCentred = s.AimCentred;
  });
}

void FeedingPause(TMainForm& f) {
  f.Paused = !f.Paused;
  f.LevelTimer.SetEnabled(!f.LevelTimer.Enabled());  // the stage clock stands still
}

void FeedingKeyDown(TMainForm& f, int key, platform::KeyMods mods) {
  if (mods.Ctrl) f.FireHeld = true;
  if (key == 'P' && !f.GameMainExit) FeedingPause(f);
  PlaySceneEsc(f, key);
}

void AimTongue(const TMainForm& f, TFeedingState& fs) {
  // The tongue's aim follows the pointer, or points up until the pointer first moves.
  const double w = TDXDraw::SurfaceWidth;
  if (!f.Paused && !f.GameMainExit && !fs.AimCentred)
    fs.AimAngle = f.MouseX / (w / 720) - 180 + fs.AimAdjust;
  else if (fs.AimCentred)
    fs.AimAngle = 400 / (w / 720) - 180 + fs.AimAdjust;
  if (fs.AimAngle > 240) fs.AimAngle = 240.0;
  if (fs.AimAngle < 120) fs.AimAngle = 120.0;
}

void BuildFeedingScene(TMainForm& f, TFeedingState& fs, TPondState& p) {
  auto& e = f.Engine();
  auto* bg = e.Add<TBackgroundSprite>();
  bg->ResizeMap(1, 1);
  bg->Image = &f.FindImage("bg2");
  bg->Wrap = true;
  bg->SetZ(-2);
  fs.AimAdjust = 0;
  fs.StorkLegsCalled = false;
  fs.StorkLegsDown = false;
  if (f.GameSound) f.PlaySound("fon2");
  fs.TongueLength = 0;
  e.Add<TPlayerSpriteEat>(fs);
  e.Add<TIazik>(fs);
  e.Add<TKonec_Iazik>(fs);
  CreateHud(f, p);
  // The tongue points straight up until the pointer first moves.
  fs.AimCentred = true;
  fs.TimeLeft = FeedingTime(f.Level);
  f.LevelTimer.SetInterval(1000);
  f.LevelTimer.SetEnabled(true);
}

namespace {

void DrawScene(TMainForm& f) {
  f.FillSurface(0);
  f.SpriteEngine.Draw();
}

}  // namespace

void FeedingTick(TMainForm& f, TFeedingState& fs, TPondState& p) {
  // The HUD's words, converted once rather than every tick.
  static const std::string time = Cp("Время:"), lives = Cp("Жизни:"), score = Cp("Очки:"),
                           pause = Cp("Пауза");
  auto runningStatus = [&] {
    HudText(f, 143, 0, time, StatusPointSize);
    HudText(f, 230, 0, std::to_string(fs.TimeLeft), StatusPointSize);
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
    if (f.Paused) HudText(f, 320, 270, pause, BannerPointSize);
    HudText(f, 143, 0, time, StatusPointSize);
    HudText(f, 230, 0, std::to_string(fs.TimeLeft), StatusPointSize);
    HudText(f, 338, 0, lives, StatusPointSize);
    HudText(f, 450, 0, std::to_string(f.Lives), StatusPointSize);
    HudText(f, 530, 0, score + std::to_string(f.Score), StatusPointSize);
    return;
  }
  f.SpriteEngine.Move(MoveUnits);
  f.SpriteEngine.FreeDead();
  DrawScene(f);
  runningStatus();

  SpawnInsect(f, p);
  if (fs.TimeLeft < 0) {
    // Time is up: the next level's pond. Leaving the stage clears its sprites and sounds.
    ++f.Level;
    f.SwitchScene(ScenePond);
    p.StoneNotReached = true;
  }
  // The stork may take the last lives on the very tick the stage ends.
  if (f.Lives <= 0) f.SwitchScene(SceneGameOver);
  // Only a running stage calls the stork; a switch above has left it.
  if (f.CurrentScene != SceneFeeding) return;
  CallStorkLegs(f, fs);
  CallStorkHead(f, fs);
}

}  // namespace tk::game
