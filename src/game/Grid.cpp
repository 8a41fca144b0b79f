#include "game/Grid.h"

namespace tk::game {

int SizeClass(uint8_t kind) {
  switch (kind) {
    case KindSimple1:
    case KindCrocodile:
      return 1;
    case KindSimple2:
    case KindSticky:
      return 2;
    case KindHunter:
    case KindSpring:
    case KindSimple3:
      return 3;
    default:
      return 1;  // an unknown code (never written by the layout) takes the smallest ring
  }
}

}  // namespace tk::game
