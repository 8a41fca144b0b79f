// Decimal numbers as the game's text files write them.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tk {

// An optional sign and decimal digits within the 32-bit range; nothing else, not even blanks.
std::optional<int32_t> ParseInteger(std::string_view text);

}  // namespace tk
