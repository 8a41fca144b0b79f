// The logo the game starts with: the loading picture in the middle and the menus' tune,
// for four seconds (Timer2), then the main menu.
#include "menus/Screens.h"

namespace tk::menus {

void BuildLogo(TMainForm& f) {
  f.MusicRestartPending = false;
  f.PlayMusic("1");
  auto& img = f.FindImage("logo_loading");
  auto* s = f.Engine().Add<TImageSprite>();
  s->Image = &img;
  s->X = 400 - img.CellWidth() / 2;
  s->Y = 300 - img.CellHeight() / 2;
  s->Width = img.CellWidth();
  s->Height = img.CellHeight();
  f.Timer2.SetEnabled(true);
}

void LogoTick(TMainForm& f) {
  f.SpriteEngine.Move(MoveUnits);
  f.SpriteEngine.FreeDead();
  f.SpriteEngine.Draw();
}

}  // namespace tk::menus
