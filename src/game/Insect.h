// The insects of the feeding stage: they cross the screen from one edge to the other and
// are eaten when they touch the tip of the frog's tongue, paying off the frog's hunger
// (kept with the pond).
#pragma once

#include <cstdint>

#include "game/PondState.h"
#include "shell/MainForm.h"
#include "sprites/Sprites.h"

namespace tk::game {

// What sets one kind of insect apart from the others.
struct TInsectKind {
  const char* PlainName;  // the left-flying picture, the sound and the stop name
  const char* RightName;  // the right-flying picture
  int32_t MinSpeed;       // pixels per move: MinSpeed + Random(3)
  double Divisor;         // the wave's phase divisor; 0 for the straight fliers
  int32_t StraightY, StraightRange;  // straight fliers: Y = StraightY + Random(range)
  double FrameSpeed;
  int32_t Points, Food;
  bool FoodSoundWhenEaten;  // the water strider gulps only when it swims out
};

class TEat : public TImageSprite {
 public:
  TEat(TSprite* parent, TPondState& pond, const TInsectKind& kind);
  const char* ClassName() const override { return "TEat"; }
  void Advance(int32_t moveCount) override;
  void Collided(TSprite* other, bool& done) override;

  const TInsectKind& Kind() const { return kind_; }
  bool Flying() const { return kind_.Divisor != 0; }

  uint8_t Direction = 0;  // 0 enters at the left and flies right, 1 the other way
  int32_t Speed = 0;
  int32_t Phase = 0, Amplitude = 0, BaseLine = 0;  // the wave of the flying insects

 private:
  void StopBuzz();
  TPondState& pond_;
  const TInsectKind& kind_;
};

extern const TInsectKind MushkaKind, MuhaKind, KomarKind, VodomerkaKind, PchelKind;

class TMushka : public TEat {
 public:
  TMushka(TSprite* parent, TPondState& pond) : TEat(parent, pond, MushkaKind) {}
  const char* ClassName() const override { return "TMushka"; }
};

class TMuha : public TEat {
 public:
  TMuha(TSprite* parent, TPondState& pond) : TEat(parent, pond, MuhaKind) {}
  const char* ClassName() const override { return "TMuha"; }
};

class TKomar : public TEat {
 public:
  TKomar(TSprite* parent, TPondState& pond) : TEat(parent, pond, KomarKind) {}
  const char* ClassName() const override { return "TKomar"; }
};

class TVodomerka : public TEat {
 public:
  TVodomerka(TSprite* parent, TPondState& pond) : TEat(parent, pond, VodomerkaKind) {}
  const char* ClassName() const override { return "TVodomerka"; }
};

class TPchel : public TEat {
 public:
  TPchel(TSprite* parent, TPondState& pond) : TEat(parent, pond, PchelKind) {}
  const char* ClassName() const override { return "TPchel"; }
};

// The feeding tick's spawn: a chance per tick and a choice of insect, both growing with
// the level. Returns the insect created, or null.
TEat* SpawnInsect(TMainForm& form, TPondState& pond);

}  // namespace tk::game
