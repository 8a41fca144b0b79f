#include "game/Insect.h"

#include <algorithm>
#include <cmath>

#include "game/Tongue.h"
#include "media/Trig.h"

namespace tk::game {

// Name, right-flying picture, least speed, wave divisor (0: straight at Y + Random(range)),
// animation speed, points, food, and whether eating it gulps.
const TInsectKind MushkaKind{"mushka", "mushka_", 1, 50, 0, 0, 0.02, 5, 1, true};
const TInsectKind MuhaKind{"muha", "muha_", 3, 30, 0, 0, 1.0 / 30, 10, 2, true};
const TInsectKind KomarKind{"komar", "komar_", 4, 10, 0, 0, 0.1, 15, 2, true};
const TInsectKind VodomerkaKind{"vodomerka", "vodomerka_", 5, 0, 220, 170, 0.01, 20, 3, false};
const TInsectKind PchelKind{"pchel", "pchel_", 9, 0, 60, 330, 0.025, 25, 3, true};

TEat::TEat(TSprite* parent, TPondState& pond, const TInsectKind& kind)
    : TImageSprite(parent), pond_(pond), kind_(kind) {
  TMainForm& f = Form(*this);
  PixelHit = true;
  Direction = static_cast<uint8_t>(f.Random(2));
  Image = &f.FindImage(Direction == 0 ? kind.RightName : kind.PlainName);
  Width = Image->CellWidth();
  Height = Image->CellHeight();
  // Just outside the edge it enters from.
  X = Direction == 0 ? -Width : 800;
  if (!Flying()) Y = kind.StraightY + f.Random(kind.StraightRange);
  SetZ(1);
  if (Flying()) {
    Amplitude = f.Random(50);
    BaseLine = 110 + f.Random(230);
  }
  Speed = kind.MinSpeed + f.Random(3);
  FramePos = 0;
  FrameCount = Image->CountPatterns();
  FrameLoop = true;
  FrameSpeed = kind.FrameSpeed;
  f.PlaySound(kind.PlainName);
}

void TEat::Advance(int32_t moveCount) {
  TImageSprite::Advance(moveCount);
  TMainForm& f = Form(*this);
  if (Flying()) Phase += Speed;
  if (Direction == 1)
    X -= Speed;
  else
    X += Speed;
  if (Flying()) Y = BaseLine + Amplitude * Sin(Phase / kind_.Divisor);
  if (X < -Width || X > 800) {
    Kill();
    // The water strider gulps as it leaves the screen rather than when it is eaten.
    if (!kind_.FoodSoundWhenEaten && pond_.NotHungry) f.PlaySound("food");
    StopBuzz();
  }
  Collide();
}

void TEat::StopBuzz() {
  // The kind's sound stops with the last of its kind.
  TMainForm& f = Form(*this);
  if (f.CountLiveByClassName(ClassName()) == 0) f.StopSound(kind_.PlainName);
}

void TEat::Collided(TSprite* other, bool&) {
  // Only the tip catches; the tongue's body and the frog do not.
  if (!SpriteAs<TKonec_Iazik>(other)) return;
  TMainForm& f = Form(*this);
  f.Score += kind_.Points;
  pond_.Hunger = std::max(pond_.Hunger - kind_.Food, 0);
  Kill();
  if (kind_.FoodSoundWhenEaten && pond_.NotHungry) f.PlaySound("food");
  StopBuzz();
}

TEat* SpawnInsect(TMainForm& form, TPondState& pond) {
  // Chance in 100 per tick, and for each Random(10) draw the insect it picks.
  const int level = std::clamp(form.Level, 0, 5);
  if (form.Random(100) >= level) return nullptr;
  auto& e = form.Engine();
  if (level == 1) return e.Add<TMushka>(pond);
  const int r = form.Random(10);
  switch (level) {
    case 2:
      if (r <= 5) return e.Add<TMushka>(pond);
      return e.Add<TMuha>(pond);
    case 3:
      if (r <= 3) return e.Add<TMushka>(pond);
      if (r <= 7) return e.Add<TMuha>(pond);
      return e.Add<TKomar>(pond);
    case 4:
      if (r <= 2) return e.Add<TMushka>(pond);
      if (r <= 5) return e.Add<TMuha>(pond);
      if (r <= 7) return e.Add<TKomar>(pond);
      return e.Add<TVodomerka>(pond);
    default:
      if (r <= 1) return e.Add<TMushka>(pond);
      if (r <= 3) return e.Add<TMuha>(pond);
      if (r <= 5) return e.Add<TKomar>(pond);
      if (r <= 7) return e.Add<TVodomerka>(pond);
      return e.Add<TPchel>(pond);
  }
}

}  // namespace tk::game
