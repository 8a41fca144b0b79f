#include "game/Frog.h"

#include <cmath>

#include "game/Grid.h"
#include "game/Lily.h"
#include "game/PondScenery.h"
#include "game/Water.h"
#include "shell/MainForm.h"

namespace tk::game {

namespace {
constexpr uint8_t FacingLeft = 0, FacingRight = 1, FacingUp = 2;
}

TPlayerSprite::TPlayerSprite(TSprite* parent, TPondState& pond)
    : TImageSprite(parent), pond_(pond) {
  TMainForm& f = Form(*this);
  pond_.FrogColumn = static_cast<uint8_t>(f.Random(4));
  Image = &f.FindImage("frog");
  const TPointD c = LilyCentre(FrogRow, pond_.FrogColumn + 1);
  if (f.Level < 5) {
    // The frog grows with the level up to level 4, then keeps the picture's size.
    Width = 34 + 11 * (f.Level - 1);
    Height = 53 + 17 * (f.Level - 1);
  } else {
    Width = Image->CellWidth();
    Height = Image->CellHeight();
  }
  X = c.x;
  Y = SittingY(c.y);
  SetZ(5);
  pond_.FrogFacing = FacingUp;
  pond_.JumpEndFrame = 2;
  FramePos = 1.0;
  FrameCount = Image->CountPatterns();
  FrameLoop = false;
  FrameSpeed = 0.002;
  HopDistance = 0;
  HoppingLeft = HoppingRight = false;
  pond_.StuckToLily = false;
  pond_.RippleSize = 1;
  f.PlaySound("frog_bir");
}

double TPlayerSprite::SittingY(double centreY) const {
  const TMainForm& f = Form(*this);
  return f.Level < 5 ? centreY - 30 - 2 * (f.Level - 1) : centreY - 50;
}

void TPlayerSprite::Render() {
  TSurface* s = Engine()->Surface();
  if (!s) return;
  const uint8_t facing = pond_.FrogFacing;
  const int angle = facing == FacingLeft ? 192 : facing == FacingRight ? 64 : 0;
  Image->DrawPatternRotated(*s, Round(X), Round(Y), Width, Height,
                            static_cast<int>(std::trunc(FramePos)), 0.5, 0.5, angle);
}

void TPlayerSprite::Advance(int32_t moveCount) {
  TImageSprite::Advance(moveCount);
  TMainForm& f = Form(*this);
  const int column = pond_.FrogColumn + 1;
  pond_.RippleSize = SizeClass(pond_.Lily(FrogRow, column).LilyKind);
  pond_.RippleSizeAbove = SizeClass(pond_.Lily(FrogRow - 1, column).LilyKind);

  // Idle: breathe, and croak at the end of each breath.
  if (FramePos >= pond_.JumpEndFrame && !pond_.Scrolling) {
    pond_.JumpEndFrame = 2;
    FramePos = 0;
    if (!HoppingLeft && !HoppingRight && !pond_.StrandShown) f.PlaySound("kvak");
    FrameSpeed = 0.002;
  }
  if (pond_.FrogFrozen || !pond_.FrogControllable) return;

  if (!pond_.FrogCaught) Turn();
  if (pond_.StickyTries == 0 && (HoppingLeft || HoppingRight)) Hop();
  const bool fire = f.DXInput.Fire || f.FireHeld;
  const bool blockedByEdge = (pond_.FrogFacing == FacingLeft && pond_.FrogColumn == 0) ||
                             (pond_.FrogFacing == FacingRight && pond_.FrogColumn == 3);
  if (fire && !pond_.FrogCaught && !pond_.StuckToLily && !pond_.Scrolling && !HoppingLeft &&
      !HoppingRight && pond_.JumpCooldown == 0 && !blockedByEdge)
    StartJump();

  if (X >= 620) X = 620;
  if (X <= 170) X = 170;
  if (pond_.FrogColumn > 3) pond_.FrogColumn = 3;

  if (!HoppingLeft && !HoppingRight && !pond_.Scrolling) StandingCheck();
  if (pond_.Starved || pond_.FrogFell) Kill();
  Collide();
}

void TPlayerSprite::Turn() {
  TMainForm& f = Form(*this);
  struct Key {
    bool held;
    uint8_t& cooldown;
    uint8_t facing;
  };
  const Key keys[] = {{f.DXInput.Left, pond_.TurnLeftCooldown, FacingLeft},
                      {f.DXInput.Right, pond_.TurnRightCooldown, FacingRight},
                      {f.DXInput.Up, pond_.TurnUpCooldown, FacingUp}};
  for (const Key& k : keys) {
    if (!k.held || k.cooldown != 0) continue;
    // Turning away lets the next jump leave a sticky lily at once.
    if (pond_.FrogFacing != k.facing) pond_.StickyTries = 0;
    pond_.FrogFacing = k.facing;
    k.cooldown = 3;
  }
}

void TPlayerSprite::Hop() {
  if (HopDistance < 150) {
    FramePos = FrameCount - 1;
    HopDistance += 5;
    X += HoppingLeft ? -5 : 5;
    return;
  }
  // Landed on the next lily, 150 px away after 30 moves.
  FramePos = 1.0;
  HoppingLeft = HoppingRight = false;
  Engine()->Add<TRazvod>(pond_, pond_.RippleSize, pond_.FrogColumn + 1);
  HopDistance = 0;
}

void TPlayerSprite::HoldOnStickyLily() {
  TMainForm& f = Form(*this);
  auto& e = f.Engine();
  for (int i = 0; i < e.ChildCount(); ++i)
    if (auto* l = SpriteAs<TKuvshinka>(e.Children(i));
        l && l->Row == FrogRow && l->Column == pond_.FrogColumn + 1)
      l->FrameSpeed = 1.0 / 150;
  pond_.StickyTries += 1;
  pond_.StuckToLily = true;
}

void TPlayerSprite::StartJump() {
  TMainForm& f = Form(*this);
  f.Score += 5;
  // Where the frog pushes off.
  Engine()->Add<TRazvod>(pond_, pond_.RippleSize, pond_.FrogColumn + 1);
  pond_.JumpEndFrame = FrameCount - 1;
  FrameSpeed = 0.1;
  pond_.Hunger += 1;
  f.FireHeld = false;
  pond_.JumpCooldown = 3;
  const uint8_t kind = pond_.Lily(FrogRow, pond_.FrogColumn + 1).LilyKind;
  if (pond_.FrogFacing == FacingLeft || pond_.FrogFacing == FacingRight) {
    if (HopDistance != 0) return;
    pond_.ScrollRows = 1;
    pond_.Scrolling = false;
    if (kind == KindSticky && pond_.StickyTries < 3) {
      HoldOnStickyLily();
      return;
    }
    pond_.StickyTries = 0;
    if (pond_.FrogFacing == FacingLeft) {
      HoppingLeft = true;
      pond_.FrogColumn -= 1;
    } else {
      HoppingRight = true;
      pond_.FrogColumn += 1;
    }
    return;
  }
  // Facing up.
  auto& e = f.Engine();
  if (kind == KindSpring) {
    pond_.SpringJumpPending = true;
    for (int i = 0; i < e.ChildCount(); ++i)
      if (auto* l = SpriteAs<TKuvshinka>(e.Children(i));
          l && l->Row == FrogRow && l->Column == pond_.FrogColumn + 1)
        l->FrameSpeed = 1.0 / 150;
  }
  if (kind == KindSticky && pond_.StickyTries < 3) {
    HoldOnStickyLily();
    return;
  }
  pond_.StickyTries = 0;
  if (!pond_.SpringJumpPending) pond_.UpJumpPending = true;
  // The eyes keep their grid row in step with the scroll this jump starts.
  const int rows = pond_.UpJumpPending ? 1 : 2;
  for (int i = 0; i < e.ChildCount(); ++i)
    if (auto* eyes = SpriteAs<TVeki_Kroko>(e.Children(i))) eyes->Row += rows;
}

void TPlayerSprite::StandingCheck() {
  TMainForm& f = Form(*this);
  auto& e = f.Engine();
  const int column = pond_.FrogColumn + 1;
  const uint8_t kind = pond_.Lily(FrogRow, column).LilyKind;
  const TPointD c = LilyCentre(FrogRow, column);
  auto stopEyes = [&](bool keepOwnCell) {
    for (int i = 0; i < e.ChildCount(); ++i)
      if (auto* eyes = SpriteAs<TVeki_Kroko>(e.Children(i))) {
        if (keepOwnCell && eyes->Column == column && eyes->Row == FrogRow)
          eyes->FrameSpeed = 0.002;  // blinking while the frog waits beside them
        else
          eyes->Stop();
      }
  };
  for (int i = 0; i < e.ChildCount(); ++i) {
    auto* l = SpriteAs<TKuvshinka>(e.Children(i));
    if (!l || l->Row != FrogRow || l->Column != column) continue;
    if (IsSimpleKind(kind)) {
      if (l->SavedFramePos >= 2.0) {
        // The pad has gone under: the frog falls in.
        pond_.FrogFell = true;
        Kill();
        e.Add<TBrizgi>(pond_);
      }
    } else if (kind == KindHunter) {
      l->FrameSpeed = 1.0 / 150;  // the lily closes
      if (l->FramePos > 1.0) {
        pond_.FrogCaught = true;
        pond_.FrogFell = true;
        Kill();
      }
    } else if (kind == KindCrocodile) {
      stopEyes(true);
    } else if (kind == KindSticky) {
      if (l->SavedFramePos >= 1.0 && l->SavedFramePos < 3.0) {
        // Pulled back by the strands; drawn turned, so the height measures the pull sideways.
        FramePos = 3.0;
        if (pond_.FrogFacing == FacingLeft)
          X = c.x - 38 - Height;
        else if (pond_.FrogFacing == FacingRight)
          X = c.x + 25 + Height;
        else
          Y = SittingY(c.y) - 18 - Height;
      } else {
        FramePos = 1.0;
        X = c.x;
        Y = SittingY(c.y);
      }
    }
    if (kind != KindCrocodile) stopEyes(false);
  }
}

void TPlayerSprite::Collided(TSprite* other, bool&) {
  if (!SpriteAs<TStone>(other)) return;
  // Touching the stone ends the pond, but not in passing during a scroll or while held.
  if (pond_.ScrollRows != 2 && !pond_.Scrolling && pond_.StickyTries == 0)
    pond_.StoneNotReached = false;
}

}  // namespace tk::game
