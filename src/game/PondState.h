// What the pond keeps between ticks: the lily grid, the scroll, the frog, and the frog's
// hunger, which the feeding stage pays off.
#pragma once

#include <array>
#include <cstdint>

namespace tk::game {

struct TLilyCell {
  uint8_t LilyKind = 0;
  uint8_t Pickup = 0;  // 0 none, 1 extra life, 2 dollar
};

struct TPondState {
  std::array<std::array<TLilyCell, 4>, 6> LilyGrid{};  // [row + 1][column - 1]
  TLilyCell& Lily(int row, int column) { return LilyGrid[row + 1][column - 1]; }
  int32_t StoneRow = 0;
  bool FirstLilyBuild = false, Scrolling = false;
  int32_t ScrollRows = 1;
  bool UpJumpPending = false, SpringJumpPending = false;
  // Cleared when the frog sits on the stone; leaving the feeding stage sets it again.
  bool StoneNotReached = true;
  // Frog.
  uint8_t FrogColumn = 0, FrogFacing = 2;
  // Ticks until the frog may turn that way or jump again; every frame tick counts them down,
  // whatever the scene (CountCooldownsDown).
  uint8_t TurnLeftCooldown = 0, TurnRightCooldown = 0, TurnUpCooldown = 0, JumpCooldown = 0;
  int32_t JumpEndFrame = 2, RippleSize = 1, RippleSizeAbove = 1, StickyTries = 0;
  bool StuckToLily = false, FrogFell = false, FrogCaught = false, FrogFrozen = false,
       FrogControllable = true, StrandShown = false, LifeLost = false;
  // Jumps add to the hunger, insects pay it off; the bottle of both stages shows it.
  int32_t Hunger = 0;
  bool Starved = false, NotHungry = true;
};

}  // namespace tk::game
