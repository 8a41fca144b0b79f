#include "game/Tongue.h"

#include <cmath>
#include <numbers>

#include "game/Grid.h"

namespace tk::game {

TIazik::TIazik(TSprite* parent) : TImageSprite(parent) {
  Image = &Form(*this).FindImage("iazik");
  PixelHit = true;
  Width = Image->CellWidth();
  Height = 2 * Image->CellHeight();
  SetZ(1);
  FollowMouth();
}

void TIazik::FollowMouth() {
  const TMainForm& f = Form(*this);
  X = f.TongueBaseX + 70;
  Y = f.TongueBaseY - f.TongueLift;
}

void TIazik::Advance(int32_t moveCount) {
  TImageSprite::Advance(moveCount);
  FollowMouth();
}

void TIazik::Render() {
  TSurface* s = Engine()->Surface();
  if (!s) return;
  const TMainForm& f = Form(*this);
  // Hung from its top-left corner at the mouth and turned towards the aim; the length
  // stretches the strip.
  Image->DrawPatternRotated(*s, Round(X), Round(Y), Image->CellWidth(),
                            Image->CellHeight() + f.TongueLength, 0, 0, 0,
                            Round(DegreesToTurns * f.AimAngle));
}

TKonec_Iazik::TKonec_Iazik(TSprite* parent) : TImageSprite(parent) {
  TMainForm& f = Form(*this);
  Image = &f.FindImage("konec_iazika");
  PixelHit = true;
  Width = Image->CellWidth();
  Height = Image->CellHeight();
  SetZ(1);
  X = f.TongueBaseX + 68;
  Y = f.TongueBaseY - f.TongueLift;
}

void TKonec_Iazik::Advance(int32_t moveCount) {
  TImageSprite::Advance(moveCount);
  const TMainForm& f = Form(*this);
  // 180 degrees points straight up from the mouth, smaller angles lean left.
  const double a = (f.AimAngle - 90) * std::numbers::pi / 180;
  const double reach = f.TongueLength + 30;
  X = (f.TongueBaseX + 68) - std::cos(a) * reach;
  Y = (f.TongueBaseY - f.TongueLift) - std::sin(a) * reach;
}

void TKonec_Iazik::Render() {
  TSurface* s = Engine()->Surface();
  if (!s) return;
  const TMainForm& f = Form(*this);
  Image->DrawPatternRotated(*s, Round(X), Round(Y), Image->CellWidth(), Image->CellHeight(), 0,
                            0.5, 0.5, Round(DegreesToTurns * (f.AimAngle + 180)));
}

void ShootTongue(TMainForm& f) {
  if (f.DXInput.Fire || f.FireHeld) {
    f.PlaySound("iazik");
    f.TongueLength += TongueGrowth;
  } else {
    f.TongueLength -= TongueShrink;
  }
  if (f.TongueLength <= 0) f.TongueLength = 0;
  if (f.TongueLength >= TongueMaxLength) f.TongueLength = TongueMaxLength;
}

}  // namespace tk::game
