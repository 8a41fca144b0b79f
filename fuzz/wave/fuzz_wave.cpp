// Wave payloads come from the sound archive, which anyone can edit.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "media/Mixer.h"
#include "media/Wave.h"
#include "platform/Errors.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  try {
    const tk::TWave w = tk::ParseWave(bytes);
    // Whatever parses must also survive being written back and played.
    if (tk::ParseWave(tk::WriteWave(w)).Size() != w.Size()) __builtin_trap();
    tk::TMixer mixer(44100);
    tk::TSoundBuffer b(mixer, w);
    b.SetPosition(static_cast<uint32_t>(size));
    b.Play(true);
    int16_t out[2 * 256];
    mixer.Mix(out, 256);
  } catch (const tk::EWaveError&) {
  }
  return 0;
}
