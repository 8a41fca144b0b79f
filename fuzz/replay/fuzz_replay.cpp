// The replay reader on arbitrary bytes: a file is read or refused, never a crash. The
// checksum is skipped on every other input so the parser behind it is reached.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "replay/ReplayFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (bool verify : {true, false}) {
    try {
      const tk::replay::TReplay r = tk::replay::ReadReplay(bytes, verify);
      // What was read writes and reads back the same (compared as bytes: a NaN aim reads
      // back as itself but never equals itself).
      const std::string once = tk::replay::WriteReplay(r);
      if (tk::replay::WriteReplay(tk::replay::ReadReplay(once)) != once) __builtin_trap();
    } catch (const tk::replay::EReplayError&) {
    }
  }
  return 0;
}
