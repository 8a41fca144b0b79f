#include "game/GameOver.h"

#include "persist/Settings.h"

namespace tk::game {

namespace {

void PlaceWord(TImageSprite& s, const char* image, double x, double y) {
  s.Image = &Form(s).FindImage(image);
  s.PixelHit = true;
  s.Width = s.Image->CellWidth();
  s.Height = s.Image->CellHeight();
  s.X = x;
  s.Y = y;
  s.SetZ(1);
}

}  // namespace

TGame_Word::TGame_Word(TSprite* parent) : TImageSprite(parent) {
  PlaceWord(*this, "Game_Word", 149, 118);
}

TOver_Word::TOver_Word(TSprite* parent) : TImageSprite(parent) {
  PlaceWord(*this, "Over_Word", 164, 284);
}

void RegisterGameOver(TMainForm& form) {
  TMainForm* f = &form;
  auto& scene = form.Scenes[SceneGameOver];
  scene.Build = [f] { BuildGameOverScene(*f); };
  scene.Timer1 = [f] { GameOverTimer1(*f); };
}

void BuildGameOverScene(TMainForm& f) {
  auto* bg = f.Engine().Add<TBackgroundSprite>();
  bg->ResizeMap(1, 1);
  bg->Image = &f.FindImage("menu");
  bg->Wrap = true;
  bg->SetZ(-1);
  f.Engine().Add<TGame_Word>();
  f.Engine().Add<TOver_Word>();
  f.PlayMusic("3");
  // Restarted even when it was running, so the banner always gets its full time.
  f.Timer1.SetEnabled(false);
  f.Timer1.SetInterval(GameOverBannerMs);
  f.Timer1.SetEnabled(true);
}

void GameOverTimer1(TMainForm& f) {
  // A score that ties the table's last row still opens the entry; Enter then decides.
  if (!NameEntryOpens(f.HighScores, f.Score)) return;
  f.KillAll<TGame_Word>();
  f.KillAll<TOver_Word>();
  f.SetCursor(platform::Cursor::Arrow);
  if (f.Hooks.GameEnterNameClick) f.Hooks.GameEnterNameClick();
}

}  // namespace tk::game
