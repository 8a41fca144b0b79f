// The frog's tongue in the feeding stage: a strip hung from the frog's mouth and turned
// towards the aim, and the tip at its far end, the only part that catches insects.
#pragma once

#include <cstdint>

#include "game/FeedingState.h"
#include "shell/MainForm.h"
#include "sprites/Sprites.h"

namespace tk::game {

// Full length is reached in 14 ticks of holding fire and given up in 7 after release.
constexpr int32_t TongueGrowth = 30, TongueShrink = 60, TongueMaxLength = 400;

// Degrees to the drawing's 1/256-turn unit.
constexpr double DegreesToTurns = 0.7111111111111111;

// The tongue's body.
class TIazik : public TImageSprite {
 public:
  TIazik(TSprite* parent, const TFeedingState& feeding);
  const char* ClassName() const override { return "TIazik"; }
  void Advance(int32_t moveCount) override;
  void Render() override;

 private:
  void FollowMouth();
  const TFeedingState& feeding_;
};

// The tongue's tip.
class TKonec_Iazik final : public TImageSprite {
 public:
  TKonec_Iazik(TSprite* parent, const TFeedingState& feeding);
  const char* ClassName() const override { return "TKonec_Iazik"; }
  void Advance(int32_t moveCount) override;
  void Render() override;

 private:
  const TFeedingState& feeding_;
};

// One tick of the tongue: it grows while fire is held and withdraws otherwise.
void ShootTongue(TMainForm& form, TFeedingState& feeding);

}  // namespace tk::game
