// The hover and click rules every menu screen follows: highlights live from one pointer
// move to the next, and every hit test uses the last move position.
#include "menus/HitTest.h"
#include "menus/MenuSprites.h"
#include "menus/Screens.h"

namespace tk::menus {

using platform::Cursor;
using platform::MouseButton;

bool HoverGroup(TMainForm& f, std::span<const THoverTarget> targets, bool& armed) {
  for (const THoverTarget& t : targets) {
    if (!t.Rect.Contains(f.MouseX, f.MouseY)) continue;
    f.SetCursor(Cursor::Hand);
    t.Highlight(f);
    if (armed) {
      f.StopSound("button_up");
      f.PlaySound("button_up");
      armed = false;
    }
    return true;
  }
  armed = true;
  return false;
}

void HoverTest(TMainForm& f, TMenuState& m, std::span<const THoverTarget> targets) {
  f.SetCursor(Cursor::Arrow);
  HoverGroup(f, targets, m.HoverSoundArmed);
}

bool ClickTest(TMainForm& f, TMenuState& m, std::span<const TClickTarget> targets) {
  for (const TClickTarget& t : targets) {
    if (t.Rect.Contains(f.MouseX, f.MouseY)) {
      t.Action(f, m);
      return true;
    }
  }
  return false;
}

}  // namespace tk::menus
