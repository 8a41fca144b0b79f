// The stork of the feeding stage: late in the stage its legs walk in at both edges, then
// its head swoops down twice and takes a life on every move it touches the frog.
#pragma once

#include <cstdint>

#include "game/FeedingState.h"
#include "shell/MainForm.h"
#include "sprites/Sprites.h"

namespace tk::game {

constexpr int32_t StorkLegStep = 10;   // pixels a move, in and out
constexpr int32_t StorkHeadStep = 30;  // pixels a move; the head's height is a multiple
constexpr uint8_t StorkSwoops = 2;

// One leg: side 1 stands at the left edge, side 2 at the right.
class TNogaAist : public TImageSprite {
 public:
  TNogaAist(TSprite* parent, TFeedingState& feeding, int side);
  const char* ClassName() const override { return "TNogaAist"; }
  void Advance(int32_t moveCount) override;

 private:
  TFeedingState& feeding_;
};

// The head, hanging from the top of the screen.
class TAist : public TImageSprite {
 public:
  TAist(TSprite* parent, TFeedingState& feeding);
  const char* ClassName() const override { return "TAist"; }
  void Advance(int32_t moveCount) override;
  void Collided(TSprite* other, bool& done) override;

  bool Descending = true;
  uint8_t Swoops = 0;

 private:
  TFeedingState& feeding_;
};

// The feeding tick's stork rules: the legs come at most once a stage, after its first
// 11 seconds and before its last 10; the head at most once a level, once the legs stand.
void CallStorkLegs(TMainForm& form, TFeedingState& feeding);
void CallStorkHead(TMainForm& form, TFeedingState& feeding);

}  // namespace tk::game
