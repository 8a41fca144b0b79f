#include "game/Eat.h"

#include "game/Grid.h"
#include "game/Tongue.h"

namespace tk::game {

TPlayerSpriteEat::TPlayerSpriteEat(TSprite* parent, TFeedingState& feeding)
    : TImageSprite(parent), feeding_(feeding) {
  TMainForm& f = Form(*this);
  Image = &f.FindImage("frogeat");
  Width = Image->CellWidth();
  Height = Image->CellHeight();
  X = 400 - Width / 2.0;
  Y = 600 - Height;
  SetZ(805);
  FramePos = 0;
  FrameCount = Image->CountPatterns();
  FrameLoop = false;
  FrameSpeed = 0;
  feeding_.TongueBaseX = 600.0;
  feeding_.TongueBaseY = 500.0;
  f.PlaySound("bell");
}

void TPlayerSpriteEat::Render() {
  TSurface* s = Engine()->Surface();
  if (!s) return;
  Image->DrawPattern(*s, Round(X), Round(Y), static_cast<int>(FramePos));
}

void TPlayerSpriteEat::Advance(int32_t moveCount) {
  TImageSprite::Advance(moveCount);
  TMainForm& f = Form(*this);
  const TInputState& in = f.DXInput;
  // A walk key starts one pass of the step animation.
  if (in.Left || in.AltLeft) {
    X -= EatFrogStep;
    FrameSpeed = 0.02;
  }
  if (in.Right || in.AltRight) {
    X += EatFrogStep;
    FrameSpeed = 0.02;
  }
  if (in.Up && feeding_.AimAngle > 120) feeding_.AimAdjust -= AimStep;
  if (in.Down && feeding_.AimAngle < 240) feeding_.AimAdjust += AimStep;
  ShootTongue(f, feeding_);
  if (X >= 800 - Width) X = 800 - Width;
  if (X <= 0) X = 0;
  feeding_.TongueBaseX = X;
  const int last = Image->CountPatterns() - 1;
  if (FramePos == last) {
    FramePos = 0;
    FrameCount = Image->CountPatterns();
    FrameLoop = false;
    FrameSpeed = 0;
  }
  // The mouth rises as the frog stretches in its step.
  switch (static_cast<int>(FramePos)) {
    case 0:
      feeding_.TongueLift = 0;
      break;
    case 1:
      feeding_.TongueLift = 25;
      break;
    case 2:
      feeding_.TongueLift = 65;
      break;
    default:
      break;
  }
}

}  // namespace tk::game
