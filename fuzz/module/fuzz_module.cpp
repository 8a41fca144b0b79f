// Music modules are files in the game folder: our module-player wrapper and the player
// library behind it load whatever is there, play it at two device rates (one above what
// the library renders, which the wrapper repeats frames for) and free it.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "media/Mixer.h"
#include "media/Sound.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  tk::TMixer mixer(44100);
  tk::TMusicPlayer player(mixer);
  const uintptr_t h = player.SongLoadFromMemory(bytes, "fuzz.xm");
  if (h == 0) {
    if (player.NewLoadError().empty()) __builtin_trap();  // a failure always says why
    return 0;
  }
  player.SongPlay(h);
  std::vector<int16_t> out(2 * 2048);
  for (int i = 0; i < 4; ++i) mixer.Mix(out.data(), 2048);
  mixer.SetDeviceRate(96000);
  for (int i = 0; i < 2; ++i) mixer.Mix(out.data(), 2048);
  if (player.SongGetOrder(h) < 0) __builtin_trap();
  player.SongFree(h);
  return 0;
}
