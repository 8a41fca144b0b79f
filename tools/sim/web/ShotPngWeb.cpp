// The browser's build has no PNG writer: its shots are PPM files (ShotFile.cpp).
#include <stdexcept>

#include "../ShotFile.h"

namespace tk::sim {

void WritePng(const TSurface&, const std::filesystem::path& p, int, int) {
  throw std::runtime_error("cannot write " + p.string() + ": this build writes .ppm shots only");
}

}  // namespace tk::sim
