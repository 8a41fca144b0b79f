// A DIB as stored in a picture payload.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "media/Picture.h"
#include "platform/Errors.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    const tk::TPicture p =
        tk::DecodeDib(std::string_view(reinterpret_cast<const char*>(data), size));
    // The decoded size must match what was allocated.
    if (p.Pixels.size() != static_cast<size_t>(p.Width) * static_cast<size_t>(p.Height))
      __builtin_trap();
  } catch (const tk::EError&) {
  }
  return 0;
}
