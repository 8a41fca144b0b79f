#include "game/PondScenery.h"

#include "game/Frog.h"
#include "game/Grid.h"
#include "game/Lily.h"
#include "game/Pond.h"
#include "game/Water.h"
#include "shell/MainForm.h"

namespace tk::game {

void FollowScroll(TSprite& s, const TPondState& pond) {
  if (pond.Scrolling) s.Y += 5.0 * pond.ScrollRows;
}

namespace {
void SizeToImage(TImageSprite& s, const char* name) {
  s.Image = &Form(s).FindImage(name);
  s.Width = s.Image->CellWidth();
  s.Height = s.Image->CellHeight();
}
}  // namespace

TSample::TSample(TSprite* parent, TPondState& pond) : TImageSprite(parent), pond_(pond) {
  SizeToImage(*this, "sample");
  PixelHit = true;
}

void TSample::Advance(int32_t) {
  TMainForm& f = Form(*this);
  TPondState& p = pond_;
  // A fixed 5 px a move: 30 moves make one scroll, whether it advances one row or two.
  if (p.Scrolling) Y += 5;
  if (Y <= 150) return;
  Y = 0;
  p.Scrolling = false;
  for (int i = 0; i < p.ScrollRows; ++i) AddLilyRow(f, p);
  auto& e = f.Engine();
  for (int i = 0; i < e.ChildCount(); ++i) {
    TSprite* s = e.Children(i);
    if (auto* l = SpriteAs<TKuvshinka>(s)) l->Row += p.ScrollRows;
    else if (auto* d = SpriteAs<TDollar>(s)) d->Row += p.ScrollRows;
    else if (auto* life = SpriteAs<TLife>(s)) life->Row += p.ScrollRows;
  }
  CreateLilySprites(f, p);
  e.Add<TRazvod>(p, p.RippleSizeAbove, p.FrogColumn + 1);
  p.ScrollRows = 1;
}

TScrollBackground::TScrollBackground(TSprite* parent, const TPondState& pond)
    : TBackgroundSprite(parent), pond_(pond) {
  ResizeMap(1, 1);
  Image = &Form(*this).FindImage("bg1");
  Wrap = true;
  X = 0;
  Y = 0;
  SetZ(1);
}

void TScrollBackground::Advance(int32_t) { FollowScroll(*this, pond_); }

void TScrollBackground::Render() {
  TBackgroundSprite::Render();
  TSurface* s = Engine()->Surface();
  if (!s || !Image) return;
  const int w = Image->CellWidth(), h = Image->CellHeight();
  for (int i = 1; i <= 3; ++i)
    Image->DrawPatternRotated(*s, 120, h - i, w, h, 0, 8.0, i - 1, 128);
}

TStone::TStone(TSprite* parent, const TPondState& pond, double y)
    : TImageSprite(parent), pond_(pond) {
  SizeToImage(*this, "stone");
  PixelHit = true;
  X = 0;
  Y = y;
  SetZ(2);
}

void TStone::Advance(int32_t) { FollowScroll(*this, pond_); }

TBrevno::TBrevno(TSprite* parent, const TPondState& pond, double x, double y)
    : TImageSprite(parent), pond_(pond) {
  TMainForm& f = Form(*this);
  const std::string name = "brevno" + std::to_string(f.Random(2) + 1);
  SizeToImage(*this, name.c_str());
  PixelHit = true;
  X = x;
  Y = y;
  SetZ(1);
}

void TBrevno::Advance(int32_t) { FollowScroll(*this, pond_); }

}  // namespace tk::game
