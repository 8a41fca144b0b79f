// The exit-screen description reader on arbitrary text, with a fake file system in which
// a name exists when it does not start with "x"; checks what the exit screen relies on.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "exitscreen/Description.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const tk::TFileExistsFn exists = [](std::string_view name) {
    return !name.empty() && name.front() != 'x';
  };
  const tk::TExitScreenDescription d = tk::ReadExitScreenDescription(text, exists);

  // Every button costs at least five lines.
  if (d.Buttons.size() > size / 5 + 1) __builtin_trap();
  if (d.ScreenValid) {
    if (d.ButtonCount < 1 || d.Buttons.size() != static_cast<size_t>(d.ButtonCount))
      __builtin_trap();
    for (size_t i = 0; i < d.Buttons.size(); ++i) {
      const auto& b = d.Buttons[i];
      if (b.IsExit != (i + 1 == d.Buttons.size())) __builtin_trap();
      if (b.IsExit ? b.Target != "exit" : (b.Target.empty() || !exists(b.Target)))
        __builtin_trap();
      if (b.NormalImage.empty() || b.HoverImage.empty() || b.DisabledImage.empty())
        __builtin_trap();
    }
    if (d.Background.empty() || d.CountdownColor > 0xFFFFFFu) __builtin_trap();
  }
  return 0;
}
