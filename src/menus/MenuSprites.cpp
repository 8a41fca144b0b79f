#include "menus/MenuSprites.h"

namespace tk::menus {

void PlaceImage(TImageSprite& s, std::string_view image, double x, double y, int32_t z) {
  auto& img = Form(s).FindImage(image);
  s.Image = &img;
  s.X = x;
  s.Y = y;
  s.SetZ(z);
  s.Width = img.CellWidth();
  s.Height = img.CellHeight();
}

void CentreImage(TImageSprite& s, std::string_view image, double lift, int32_t z) {
  auto& img = Form(s).FindImage(image);
  // Halves stay fractional: X and Y are doubles.
  PlaceImage(s, image, (TDXDraw::SurfaceWidth - img.CellWidth()) / 2.0,
             (TDXDraw::SurfaceHeight - img.CellHeight()) / 2.0 - lift, z);
}

TImageSprite& AddPicture(TMainForm& f, std::string_view image, double x, double y, int32_t z) {
  auto* s = f.Engine().Add<TImageSprite>();
  PlaceImage(*s, image, x, y, z);
  return *s;
}

void AddMenuBackground(TMainForm& f) {
  auto* bg = f.Engine().Add<TBackgroundSprite>();
  bg->ResizeMap(1, 1);
  bg->Image = &f.FindImage("menu");
  bg->Wrap = true;
  bg->SetZ(0);
}

HelpGame_Back::HelpGame_Back(TSprite* parent) : TMenuGame(parent) {
  const int h = Form(*this).FindImage("Help_Back_p").CellHeight();
  PlaceImage(*this, "Help_Back_p", 341, TDXDraw::SurfaceHeight - h, 2);
}

Palka::Palka(TSprite* parent) : TImageSprite(parent) {
  PlaceImage(*this, "palka", 0, 0, 800);
  PixelHit = true;
  Follow();
}

void BlinkCaret(TMainForm& f, bool shown) {
  if (!shown)
    f.KillAll<Palka>();
  else if (f.GamegoEdit)
    f.Engine().Add<Palka>();
}

void Palka::Advance(int32_t moveCount) {
  TImageSprite::Advance(moveCount);
  Follow();
}

void Palka::Follow() {
  const TMainForm& f = Form(*this);
  if (f.CurrentScene == SceneOptions) {
    X = f.NameTextWidth + 400;
    Y = 440;
  } else if (f.CurrentScene == SceneGameOver) {
    X = f.NameTextWidth / 2.0 + 400;
    Y = 343;
  }
}

}  // namespace tk::menus
