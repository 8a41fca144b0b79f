#include "game/Water.h"

#include <string>

#include "game/Grid.h"
#include "game/PondScenery.h"
#include "shell/MainForm.h"

namespace tk::game {

namespace {
void DrawRounded(TImageSprite& s) {
  TSurface* surface = s.Engine()->Surface();
  if (!surface) return;
  s.Image->DrawPattern(*surface, Round(s.X), Round(s.Y), Round(s.FramePos));
}
}  // namespace

TRazvod::TRazvod(TSprite* parent, const TPondState& pond, int32_t size, int32_t column)
    : TImageSprite(parent), pond_(pond) {
  Image = &Form(*this).FindImage("razvod" + std::to_string(size));
  PixelHit = true;
  Width = Image->CellWidth();
  Height = Image->CellHeight();
  const TPointD c = LilyCentre(FrogRow, column);
  X = c.x - Width / 2.0 - 2;
  Y = c.y - Height + (size == 2 ? 53 : 63);
  SetZ(2);
  FramePos = 0;
  FrameCount = Image->CountPatterns();
  FrameLoop = false;
  FrameSpeed = 0.01;
}

void TRazvod::Render() { DrawRounded(*this); }

void TRazvod::Advance(int32_t moveCount) {
  TImageSprite::Advance(moveCount);
  Frame = static_cast<uint8_t>(Round(FramePos));
  // The animation stops on its last frame and never runs past it, so the ring goes once it
  // has come to rest there; waiting for a frame beyond the last would keep it for good.
  if (FramePos >= FrameCount - 1) Kill();
  FollowScroll(*this, pond_);
}

TBrizgi::TBrizgi(TSprite* parent, TPondState& pond) : TImageSprite(parent), pond_(pond) {
  TMainForm& f = Form(*this);
  Image = &f.FindImage("brizgi");
  PixelHit = true;
  Width = Image->CellWidth();
  Height = Image->CellHeight();
  const TPointD c = LilyCentre(FrogRow, pond_.FrogColumn + 1);
  X = c.x - Width / 2.0;
  Y = c.y - Height + 30;
  SetZ(10);
  FramePos = 0;
  FrameCount = Image->CountPatterns();
  FrameLoop = false;
  FrameSpeed = 0.01;
  f.PlaySound("brizg");
}

void TBrizgi::Render() { DrawRounded(*this); }

void TBrizgi::Advance(int32_t moveCount) {
  TImageSprite::Advance(moveCount);
  // Once the last picture has been shown (on the previous move) the splash is over and
  // the frog's life with it. The last frame is the highest the animation reaches.
  if (Frame >= FrameCount - 1) {
    Kill();
    pond_.LifeLost = true;
  }
  Frame = static_cast<uint8_t>(Round(FramePos));
  FollowScroll(*this, pond_);
}

}  // namespace tk::game
