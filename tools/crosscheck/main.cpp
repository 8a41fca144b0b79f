// tinokvak-crosscheck: prints digests of the computations the game's course depends on
// and a standard library could do its own way (the sines and cosines of every angle the
// game uses, the soak player's draws), one line each. Two builds of the game that print
// the same lines play a seed the same way; the browser's build is compared with the
// desktop's this way.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "../sim/Uniform.h"
#include "GameAngles.h"
#include "media/Trig.h"

namespace {

class Digest {
 public:
  void Value(uint64_t v) {
    for (int i = 0; i < 8; ++i) h_ = (h_ ^ ((v >> (8 * i)) & 0xFF)) * 1099511628211ull;
  }
  void Value(double d) {
    uint64_t u;
    std::memcpy(&u, &d, sizeof u);
    Value(u);
  }
  uint64_t Result() const { return h_; }

 private:
  uint64_t h_ = 14695981039346656037ull;
};

void PrintTrig(const char* name, const std::vector<double>& angles) {
  Digest s, c;
  for (double a : angles) {
    s.Value(tk::Sin(a));
    c.Value(tk::Cos(a));
  }
  std::printf("sin %s %zu %016llx\n", name, angles.size(), static_cast<unsigned long long>(s.Result()));
  std::printf("cos %s %zu %016llx\n", name, angles.size(), static_cast<unsigned long long>(c.Result()));
}

}  // namespace

int main() {
  PrintTrig("insects", tk::crosscheck::InsectAngles());
  PrintTrig("tongue", tk::crosscheck::TongueAngles());
  PrintTrig("turns", tk::crosscheck::TurnAngles());
  // The soak player's draws over ranges small and large, and the generator itself.
  for (int n : {1, 3, 600, 800, 1000, 1'000'000'007}) {
    std::mt19937 g(static_cast<uint32_t>(n));
    Digest d;
    for (int i = 0; i < 100000; ++i) d.Value(static_cast<uint64_t>(tk::sim::UniformBelow(g, n)));
    d.Value(static_cast<uint64_t>(g()));
    std::printf("uniform %d %016llx\n", n, static_cast<unsigned long long>(d.Result()));
  }
  return 0;
}
