// The frog of the pond: it sits on the bottom row, turns, hops sideways to the next lily or
// jumps up (the pond scrolls under it), and answers to the lily it stands on.
#pragma once

#include <cstdint>

#include "game/PondState.h"
#include "sprites/Sprites.h"

namespace tk::game {

class TPlayerSprite final : public TImageSprite {
 public:
  TPlayerSprite(TSprite* parent, TPondState& pond);
  const char* ClassName() const override { return "TPlayerSprite"; }
  void Collided(TSprite* other, bool& done) override;
  void Render() override;
  void Advance(int32_t moveCount) override;

  int32_t HopDistance = 0;  // pixels of the current sideways hop
  bool HoppingLeft = false, HoppingRight = false;

 private:
  void Turn();
  void Hop();
  void StartJump();
  void HoldOnStickyLily();
  void StandingCheck();
  double SittingY(double centreY) const;  // the frog's Y when it sits on a lily
  TPondState& pond_;
};

}  // namespace tk::game
