// The lily grid's geometry and the small rules both play stages share about it.
#pragma once

#include <cmath>
#include <cstdint>

#include "game/PondState.h"

namespace tk::game {

// Grid rows run from -1 (above the screen) to 4 (the frog's row), columns from 1 to 4.
constexpr int TopRow = -1;
constexpr int FrogRow = 4;
constexpr int FirstColumn = 1;
constexpr int LastColumn = 4;

// Lily kind codes kept in the grid.
constexpr uint8_t KindSimple1 = 0, KindSimple2 = 10, KindSimple3 = 20, KindHunter = 1,
                  KindSpring = 2, KindSticky = 3, KindCrocodile = 4;

struct TPointD {
  double x = 0, y = 0;
};

// The fixed point every sprite standing on a cell is placed from: x 170, 320, 470, 620 for
// columns 1..4, y -175, -25, 125, 275, 425, 575 for rows -1..4.
inline TPointD LilyCentre(int row, int column) {
  return {20.0 + 150.0 * column, 150.0 * row - 25.0};
}

// The cell of the grid, or null for a row or column outside it (lilies that have scrolled
// past the bottom row keep counting rows).
inline TLilyCell* GridCell(TPondState& p, int row, int column) {
  if (row < TopRow || row > FrogRow || column < FirstColumn || column > LastColumn)
    return nullptr;
  return &p.Lily(row, column);
}

inline bool IsSimpleKind(uint8_t kind) {
  return kind == KindSimple1 || kind == KindSimple2 || kind == KindSimple3;
}

// Size class of a lily kind (1 small .. 3 large): picks the ripple ring that fits the pad.
int SizeClass(uint8_t kind);

// Rounding as the game does it everywhere: half to even.
inline int32_t Round(double v) { return static_cast<int32_t>(std::nearbyint(v)); }

}  // namespace tk::game
