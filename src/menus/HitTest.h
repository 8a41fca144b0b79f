// Fixed hit rectangles in surface pixels and the hover rule every menu screen follows.
#pragma once

#include <span>

#include "menus/MenuState.h"
#include "shell/MainForm.h"

namespace tk::menus {

// Inclusive on all four sides.
struct THitRect {
  int Left, Right, Top, Bottom;
  bool ContainsY(int y) const { return y >= Top && y <= Bottom; }
  bool Contains(int x, int y) const { return x >= Left && x <= Right && ContainsY(y); }
};
// Written as the tables read: x from-to, then y from-to.
constexpr THitRect Hit(int x1, int x2, int y1, int y2) { return {x1, x2, y1, y2}; }

using TFormAction = void (*)(TMainForm&);
using TMenuAction = void (*)(TMainForm&, TMenuState&);

template <class T>
void Spawn(TMainForm& f) {
  f.Engine().Add<T>();
}

struct THoverTarget {
  THitRect Rect;
  TFormAction Highlight;  // creates the lit sprite
};

struct TClickTarget {
  THitRect Rect;
  TMenuAction Action;
};

// The target under the pointer gets the hand pointer and its highlight, and the hover
// sound once per entry (the latch re-arms while the pointer is over none of the targets).
// True when a target was under the pointer. Leaves the pointer alone otherwise.
bool HoverGroup(TMainForm& f, std::span<const THoverTarget> targets, bool& armed);
// The whole rule for one screen state: default arrow first, then the group under
// HoverSoundArmed.
void HoverTest(TMainForm& f, TMenuState& m, std::span<const THoverTarget> targets);
// Runs the action of the target under the last move position; true when one ran. The
// rectangles of one table never overlap, so at most one can match.
bool ClickTest(TMainForm& f, TMenuState& m, std::span<const TClickTarget> targets);

}  // namespace tk::menus
