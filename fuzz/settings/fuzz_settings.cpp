// The settings reader on arbitrary bytes, plus the properties the game relies on: whatever
// was read writes back and reads again the same, and the codec round-trips.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "protocol/Codec.h"
#include "persist/Settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  tk::TSettings read;
  std::string error;
  const bool complete = tk::ReadSettings(bytes, read, error);
  if (complete != error.empty()) __builtin_trap();

  tk::TSettings again;
  if (!tk::ReadSettings(tk::WriteSettings(read), again, error)) __builtin_trap();
  // An empty name is written as an empty line, which keeps the current (default) name.
  tk::TSettings expected = read;
  const tk::THighScoreTable defaults = tk::DefaultHighScores();
  for (int k = 0; k < tk::HighScoreRows; ++k)
    if (expected.HighScores[k].Name.empty()) expected.HighScores[k].Name = defaults[k].Name;
  if (!(again == expected)) __builtin_trap();

  const std::string decoded = tk::DecodeText(tk::EncodeText(bytes));
  const std::string want = size % 5 == 0 ? std::string(bytes) : std::string(1, '\0') + std::string(bytes);
  if (decoded != want) __builtin_trap();
  return 0;
}
