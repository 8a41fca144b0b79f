// The pond's scenery: the scroll driver, the water, the stone that ends the pond and the
// floating logs. Everything but the driver only follows the scroll.
#pragma once

#include "game/PondState.h"
#include "sprites/Sprites.h"

namespace tk::game {

// Drives the scroll: it moves first in every tick, counts 30 moves of 5 px and then adds
// the new rows and lilies. Drawn behind the water, so never seen.
class TSample : public TImageSprite {
 public:
  TSample(TSprite* parent, TPondState& pond);
  const char* ClassName() const override { return "TSample"; }
  void Advance(int32_t moveCount) override;

 private:
  TPondState& pond_;
};

class TScrollBackground : public TBackgroundSprite {
 public:
  TScrollBackground(TSprite* parent, const TPondState& pond);
  const char* ClassName() const override { return "TScrollBackground"; }
  void Advance(int32_t moveCount) override;
  void Render() override;

 private:
  const TPondState& pond_;
};

class TStone final : public TImageSprite {
 public:
  TStone(TSprite* parent, const TPondState& pond, double y);
  const char* ClassName() const override { return "TStone"; }
  void Advance(int32_t moveCount) override;

 private:
  const TPondState& pond_;
};

class TBrevno : public TImageSprite {
 public:
  TBrevno(TSprite* parent, const TPondState& pond, double x, double y);
  const char* ClassName() const override { return "TBrevno"; }
  void Advance(int32_t moveCount) override;

 private:
  const TPondState& pond_;
};

// Everything that floats moves with the pond while it scrolls.
void FollowScroll(TSprite& s, const TPondState& pond);

}  // namespace tk::game
