// The frog of the feeding stage, seen from behind on the bottom edge: it walks left and
// right, turns its aim with Up and Down and shoots its tongue while fire is held.
#pragma once

#include <cstdint>

#include "game/FeedingState.h"
#include "shell/MainForm.h"
#include "sprites/Sprites.h"

namespace tk::game {

constexpr int32_t EatFrogStep = 5;  // pixels a move while a walk key is held
constexpr double AimStep = 5;       // degrees a move while Up or Down is held

class TPlayerSpriteEat final : public TImageSprite {
 public:
  TPlayerSpriteEat(TSprite* parent, TFeedingState& feeding);
  const char* ClassName() const override { return "TPlayerSpriteEat"; }
  void Advance(int32_t moveCount) override;
  void Render() override;

 private:
  TFeedingState& feeding_;
};

}  // namespace tk::game
