#include "game/Hud.h"

#include <algorithm>

#include "game/Grid.h"

namespace tk::game {

void HudText(TMainForm& form, int x, int y, const std::string& text1251, int pointSize) {
  form.TextOut(x, y, text1251, pointSize, HudYellow);
}

TBottle::TBottle(TSprite* parent, TPondState& pond) : TImageSprite(parent), pond_(pond) {
  TMainForm& f = Form(*this);
  Image = &f.FindImage("energi");
  Width = Image->CellWidth();
  Height = Image->CellHeight();
  X = 800 - Width;
  Y = 0;
  SetZ(905);
  pond_.Starved = false;
}

void TBottle::Render() {
  TSurface* s = Engine()->Surface();
  if (!s) return;
  Image->DrawPattern(*s, Round(X), Round(Y), Stage);
}

void TBottle::Advance(int32_t moveCount) {
  TImageSprite::Advance(moveCount);
  TMainForm& f = Form(*this);
  // Levels start at 1; a level of 0 would only come from a state no scene sets up.
  Stage = pond_.Hunger / std::max(f.Level, 1);
  pond_.NotHungry = Stage == 0;
  if (Stage > Image->CountPatterns() - 1) pond_.Starved = true;
  if (Stage > PreviousStage) f.PlaySound("bottle_up");
  if (Stage < PreviousStage) f.PlaySound("bottle_down");
  PreviousStage = Stage;
}

TPanel::TPanel(TSprite* parent, double x, double widthUnits) : TImageSprite(parent) {
  Image = &Form(*this).FindImage("panel");
  Width = Image->CellWidth() / 2 + Round(30 * widthUnits);
  Height = Image->CellHeight();
  X = x;
  Y = 0;
  SetZ(905);
}

void CreateHud(TMainForm& form, TPondState& pond) {
  auto& e = form.Engine();
  e.Add<TBottle>(pond);
  e.Add<TPanel>(140, 1);
  e.Add<TPanel>(525, 3);
  e.Add<TPanel>(335, 1);
}

}  // namespace tk::game
