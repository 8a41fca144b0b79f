// The sound archive as the game loads it: the library's own reading of the container with
// its items and waves, upload to a running device, every sound found by name and played
// into the mixer, and the library written back and read again.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "media/Sound.h"
#include "platform/Errors.h"
#include "platform/headless/Headless.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  // One device for the whole run, as the game has.
  static tk::platform::HeadlessAudio audio;
  static tk::TDXSound sound(audio);
  if (!sound.Initialized()) sound.Initialize();
  try {
    tk::TWaveCollection c;
    c.AttachDevice(&sound);
    c.LoadFromBytes(bytes);  // uploads, the device being up
    for (int i = 0; i < c.Count(); ++i) {
      auto& it = c.Items(i);
      if (c.Find(it.Name()) == nullptr) __builtin_trap();  // a loaded name always finds a sound
      it.PlayWave(false);
      it.PlayWave(false);  // a second copy while the first plays
    }
    audio.Render(3);
    for (int i = 0; i < c.Count(); ++i) c.Items(i).StopWave();

    tk::TWaveCollection again;
    again.LoadFromBytes(c.SaveToBytes());
    if (again.Count() != c.Count()) __builtin_trap();
  } catch (const tk::EError&) {
  }
  return 0;
}
