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

Palka::Palka(TSprite* parent, const TTyping& typing) : TImageSprite(parent), typing_(typing) {
  PlaceImage(*this, "palka", 0, 0, 800);
  PixelHit = true;
  Follow();
}

void CaretStep(TMainForm& f, TTyping& t) {
  if (t.CaretBlink > 0) --t.CaretBlink;
  const bool shown = t.CaretBlink > 15;
  if (t.CaretBlink == 0) t.CaretBlink = 30;
  if (auto& caret = f.CurrentHandlers().Caret) caret(shown);
}

void BlinkCaret(TMainForm& f, const TTyping& t, bool shown) {
  if (!shown)
    f.KillAll<Palka>();
  else if (f.GamegoEdit)
    f.Engine().Add<Palka>(t);
}

void Palka::Advance(int32_t moveCount) {
  TImageSprite::Advance(moveCount);
  Follow();
}

void Palka::Follow() {
  const TMainForm& f = Form(*this);
  if (f.CurrentScene == SceneOptions) {
    X = typing_.NameTextWidth + 400;
    Y = 440;
  } else if (f.CurrentScene == SceneGameOver) {
    X = typing_.NameTextWidth / 2.0 + 400;
    Y = 343;
  }
}

}  // namespace tk::menus
