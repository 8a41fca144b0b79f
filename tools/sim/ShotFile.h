// A shot of the game's picture as a file: a binary PPM (P6) of the whole frame when the
// name ends in .ppm, which every build writes alike; else a PNG, scaled to the size given
// (the desktop's, with cairo; ShotPng.cpp).
#pragma once

#include <filesystem>

#include "media/Surface.h"

namespace tk::sim {

// Throws std::runtime_error when the file cannot be written, and for a PPM of another size
// than the frame's or a PNG in a build that cannot write one.
void WriteShot(const TSurface& s, const std::filesystem::path& file, int width, int height);
// The PNG half, one per build.
void WritePng(const TSurface& s, const std::filesystem::path& file, int width, int height);

}  // namespace tk::sim
