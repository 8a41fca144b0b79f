// The soak player's draw of a whole number in a range, the same with any standard library.
#pragma once

#include <cstdint>
#include <random>

namespace tk::sim {

// A whole number in 0 .. n - 1 from a 32-bit generator, drawn the way the desktop's
// standard library draws std::uniform_int_distribution (a 64-bit product whose low half
// refuses the few values that would favour some results), so a seed plays the same input
// with any standard library and every soak run recorded so far stays the same.
// A range of one still takes a draw, as the library's does.
inline int UniformBelow(std::mt19937& g, int n) {
  if (n <= 0) return 0;
  const uint32_t range = static_cast<uint32_t>(n);
  uint64_t product = uint64_t{static_cast<uint32_t>(g())} * range;
  uint32_t low = static_cast<uint32_t>(product);
  if (low < range) {
    const uint32_t threshold = static_cast<uint32_t>(-range) % range;
    while (low < threshold) {
      product = uint64_t{static_cast<uint32_t>(g())} * range;
      low = static_cast<uint32_t>(product);
    }
  }
  return static_cast<int>(product >> 32);
}

}  // namespace tk::sim
