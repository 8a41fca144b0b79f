// The window icon, rendered from assets/icon/tinokvak.svg at build time.
#pragma once

#include <cstdint>

namespace tk {

extern const int kGameIconSize;
extern const uint32_t kGameIconArgb[];

}  // namespace tk
