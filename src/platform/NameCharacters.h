// The characters a player may type into the name and country fields (Windows-1251): the
// Latin letters, the digits and the 32 Russian letters in both cases, without "ё"/"Ё"; no
// blank, no punctuation. The game's typing and the score server's checks share this rule.
#pragma once

#include <cstdint>

namespace tk {

constexpr bool IsNameCharacter(uint8_t ch) {
  if ((ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9'))
    return true;
  // А..Я and а..я fill 0xC0..0xFF; Ё (0xA8) and ё (0xB8) lie below.
  return ch >= 0xC0;
}

}  // namespace tk
