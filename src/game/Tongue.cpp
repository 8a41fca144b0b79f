#include "game/Tongue.h"

#include <cmath>
#include <numbers>

#include "game/Grid.h"
#include "media/Trig.h"

namespace tk::game {

TIazik::TIazik(TSprite* parent, const TFeedingState& feeding)
    : TImageSprite(parent), feeding_(feeding) {
  Image = &Form(*this).FindImage("iazik");
  PixelHit = true;
  Width = Image->CellWidth();
  Height = 2 * Image->CellHeight();
  SetZ(1);
  FollowMouth();
}

void TIazik::FollowMouth() {
  X = feeding_.TongueBaseX + 70;
  Y = feeding_.TongueBaseY - feeding_.TongueLift;
}

void TIazik::Advance(int32_t moveCount) {
  TImageSprite::Advance(moveCount);
  FollowMouth();
}

void TIazik::Render() {
  TSurface* s = Engine()->Surface();
  if (!s) return;
  // Hung from its top-left corner at the mouth and turned towards the aim; the length
  // stretches the strip.
  Image->DrawPatternRotated(*s, Round(X), Round(Y), Image->CellWidth(),
                            Image->CellHeight() + feeding_.TongueLength, 0, 0, 0,
                            Round(DegreesToTurns * feeding_.AimAngle));
}

TKonec_Iazik::TKonec_Iazik(TSprite* parent, const TFeedingState& feeding)
    : TImageSprite(parent), feeding_(feeding) {
  TMainForm& f = Form(*this);
  Image = &f.FindImage("konec_iazika");
  PixelHit = true;
  Width = Image->CellWidth();
  Height = Image->CellHeight();
  SetZ(1);
  X = feeding_.TongueBaseX + 68;
  Y = feeding_.TongueBaseY - feeding_.TongueLift;
}

void TKonec_Iazik::Advance(int32_t moveCount) {
  TImageSprite::Advance(moveCount);
  // 180 degrees points straight up from the mouth, smaller angles lean left.
  const double a = (feeding_.AimAngle - 90) * std::numbers::pi / 180;
  const double reach = feeding_.TongueLength + 30;
  X = (feeding_.TongueBaseX + 68) - Cos(a) * reach;
  Y = (feeding_.TongueBaseY - feeding_.TongueLift) - Sin(a) * reach;
}

void TKonec_Iazik::Render() {
  TSurface* s = Engine()->Surface();
  if (!s) return;
  Image->DrawPatternRotated(*s, Round(X), Round(Y), Image->CellWidth(), Image->CellHeight(), 0,
                            0.5, 0.5, Round(DegreesToTurns * (feeding_.AimAngle + 180)));
}

void ShootTongue(TMainForm& f, TFeedingState& fs) {
  if (f.DXInput.Fire || f.FireHeld) {
    f.PlaySound("iazik");
    fs.TongueLength += TongueGrowth;
  } else {
    fs.TongueLength -= TongueShrink;
  }
  if (fs.TongueLength <= 0) fs.TongueLength = 0;
  if (fs.TongueLength >= TongueMaxLength) fs.TongueLength = TongueMaxLength;
}

}  // namespace tk::game
