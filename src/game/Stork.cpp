#include "game/Stork.h"

#include "game/Eat.h"

namespace tk::game {

TNogaAist::TNogaAist(TSprite* parent, TFeedingState& feeding, int side)
    : TImageSprite(parent), feeding_(feeding) {
  Image = &Form(*this).FindImage("aist_leng");
  PixelHit = true;
  Width = Image->CellWidth();
  Height = Image->CellHeight();
  X = side == 1 ? 0 : 800 - Width;
  Y = -Height;
  SetZ(800);
}

void TNogaAist::Advance(int32_t moveCount) {
  TImageSprite::Advance(moveCount);
  if (!feeding_.StorkLeaving)
    Y += StorkLegStep;
  else
    Y -= StorkLegStep;
  // Back up out of sight once the head has gone.
  if (Y == -Height) Kill();
  if (Y > 600 - Height) {
    Y = 600 - Height;
    feeding_.StorkLegsDown = true;
  }
}

TAist::TAist(TSprite* parent, TFeedingState& feeding)
    : TImageSprite(parent), feeding_(feeding) {
  TMainForm& f = Form(*this);
  Image = &f.FindImage("aist");
  Width = Image->CellWidth();
  Height = Image->CellHeight();
  X = f.Random(800 - Width);
  Y = -Height;
  SetZ(800);
  FramePos = 0;
  FrameCount = Image->CountPatterns();
  FrameLoop = true;
  FrameSpeed = 0.01;
  PixelHit = true;
}

void TAist::Advance(int32_t moveCount) {
  TImageSprite::Advance(moveCount);
  Collide();
  TMainForm& f = Form(*this);
  // The turns test exact positions, which the head's height (a multiple of the step) hits.
  if (Descending) {
    Y += StorkHeadStep;
    if (Y == 0) Descending = false;
  }
  if (!Descending) {
    Y -= StorkHeadStep;
    if (Y == -Height) {
      X = f.Random(800 - Width);
      Descending = true;
      ++Swoops;
      if (Swoops >= StorkSwoops) {
        Kill();
        feeding_.StorkLeaving = true;
      }
    }
  }
}

void TAist::Collided(TSprite* other, bool&) {
  if (!SpriteAs<TPlayerSpriteEat>(other)) return;
  TMainForm& f = Form(*this);
  // Every move of contact costs a life.
  --f.Lives;
  f.PlaySound("aist_eat");
}

void CallStorkLegs(TMainForm& f, TFeedingState& fs) {
  const bool chance = f.Random(500) < f.Level;
  if (chance && !fs.StorkLegsCalled && fs.TimeLeft > 10 && fs.TimeLeft < 10 * f.Level + 9) {
    fs.StorkLegsCalled = true;
    f.Engine().Add<TNogaAist>(fs, 1);
    f.Engine().Add<TNogaAist>(fs, 2);
  }
}

void CallStorkHead(TMainForm& f, TFeedingState& fs) {
  const bool chance = f.Random(50) == 0;
  if (chance && fs.StorkAllowed && fs.StorkLegsDown && fs.TimeLeft > 10) {
    fs.StorkAllowed = false;
    if (f.CurrentScene == SceneFeeding) f.Engine().Add<TAist>(fs);
  }
}

}  // namespace tk::game
