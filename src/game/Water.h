// Water effects of the pond: ripple rings where the frog pushes off or lands, and the
// splash of a frog that went under.
#pragma once

#include <cstdint>

#include "game/PondState.h"
#include "sprites/Sprites.h"

namespace tk::game {

// Plays once and goes; size class 1..3, column 1..4 of the frog's row.
class TRazvod : public TImageSprite {
 public:
  TRazvod(TSprite* parent, const TPondState& pond, int32_t size, int32_t column);
  const char* ClassName() const override { return "TRazvod"; }
  void Render() override;
  void Advance(int32_t moveCount) override;

  uint8_t Frame = 0;  // the last rounded animation position

 private:
  const TPondState& pond_;
};

// At the frog's column; when it has played, the life is lost.
class TBrizgi : public TImageSprite {
 public:
  TBrizgi(TSprite* parent, TPondState& pond);
  const char* ClassName() const override { return "TBrizgi"; }
  void Render() override;
  void Advance(int32_t moveCount) override;

  uint8_t Frame = 0;

 private:
  TPondState& pond_;
};

}  // namespace tk::game
