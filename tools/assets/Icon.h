// The game's icon from its SVG: the desktop theme's PNG sizes and the window icon's pixels.
#pragma once

#include <filesystem>

namespace tk::assets {

// Writes OUTDIR/hicolor/{scalable,NxN}/apps/tinokvak.{svg,png} for the usual theme sizes
// (16 to 512) and OUTDIR/GameIcon.cpp, the 64 x 64 window icon as C++ data.
void BuildIcon(const std::filesystem::path& svg, const std::filesystem::path& outDir);

}  // namespace tk::assets
