// Water lilies and what lives on them: the crocodile's eyes and the crocodile, the sticky
// strands, and the dollar and extra-life pickups.
#pragma once

#include <cstdint>
#include <string>

#include "game/PondState.h"
#include "sprites/Sprites.h"

namespace tk::game {

class TKuvshinka final : public TImageSprite {
 public:
  TKuvshinka(TSprite* parent, TPondState& pond, int32_t row, int32_t column, uint8_t kind);
  const char* ClassName() const override { return "TKuvshinka"; }
  void Render() override;
  void Advance(int32_t moveCount) override;

  std::string KindName;  // "simple", "hunter", "pruginka", "liapuchka" or "kroko_yes"
  int32_t Row = 0, Column = 0;
  double BaseSpeed = 0;
  bool SlowPhase = true;
  bool Armed = true;
  double SavedFramePos = 0;  // after this move's animation step; the frog reads it

 private:
  void DiveCycle();
  TPondState& pond_;
};

// The crocodile's eyes beside a crocodile lily: they blink while the frog waits there.
class TVeki_Kroko final : public TImageSprite {
 public:
  TVeki_Kroko(TSprite* parent, TPondState& pond, double x, double y, int32_t row,
              int32_t column);
  const char* ClassName() const override { return "TVeki_Kroko"; }
  void Advance(int32_t moveCount) override;

  int32_t Column = 0, Row = 0, LastFrame = 0, BlinkCount = 0;
  void Stop();  // still again, blinks forgotten

 private:
  TPondState& pond_;
};

class TKroko : public TImageSprite {
 public:
  TKroko(TSprite* parent, TPondState& pond, int32_t row, int32_t column);
  const char* ClassName() const override { return "TKroko"; }
  void Advance(int32_t moveCount) override;

 private:
  TPondState& pond_;
};

class TLiapu : public TImageSprite {
 public:
  TLiapu(TSprite* parent, TPondState& pond, double x, double y);
  const char* ClassName() const override { return "TLiapu"; }
  void Advance(int32_t moveCount) override;
};

// A pickup shown on a surfaced simple lily; collected by touching the frog.
class TPickup : public TImageSprite {
 public:
  TPickup(TSprite* parent, TPondState& pond, int32_t row, int32_t column, const char* image);
  void Advance(int32_t moveCount) override;
  void Collided(TSprite* other, bool& done) override;

  int32_t Row = 0, Column = 0;

 protected:
  virtual void Collect() = 0;

 private:
  TPondState& pond_;
};

class TDollar final : public TPickup {
 public:
  TDollar(TSprite* parent, TPondState& pond, int32_t row, int32_t column)
      : TPickup(parent, pond, row, column, "dollar") {}
  const char* ClassName() const override { return "TDollar"; }

 protected:
  void Collect() override;
};

class TLife final : public TPickup {
 public:
  TLife(TSprite* parent, TPondState& pond, int32_t row, int32_t column)
      : TPickup(parent, pond, row, column, "life") {}
  const char* ClassName() const override { return "TLife"; }

 protected:
  void Collect() override;
};

}  // namespace tk::game
