// Link files (".url") lie in the game folder for anyone to edit; the address they give is
// handed to the desktop's opener as one argument.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Shortcut.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string url = tk::platform::ReadInternetShortcutUrl(bytes);
  // One line of the file, trimmed: never a line break, never blanks around it, and always
  // taken from the file.
  if (url.find_first_of("\r\n") != std::string::npos) __builtin_trap();
  if (!url.empty() && (url.front() == ' ' || url.front() == '\t' || url.back() == ' ' ||
                       url.back() == '\t'))
    __builtin_trap();
  if (bytes.find(url) == std::string_view::npos) __builtin_trap();
  return 0;
}
