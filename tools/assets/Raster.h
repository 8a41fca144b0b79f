// SVG rasterising and colour-key flattening for the asset builder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace tk::assets {

// A manifest or source problem; the message names the file and the image.
class BuildError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Premultiplied ARGB pixels (0xAARRGGBB), top row first.
struct Canvas {
  int Width = 0, Height = 0;
  std::vector<uint32_t> Pixels;
  Canvas(int w, int h) : Width(w), Height(h), Pixels(static_cast<size_t>(w) * h, 0) {}
};

// Renders the SVG scaled into the rectangle (x, y, w, h) of the canvas, clipped to it.
// Throws BuildError with librsvg's reason when the file cannot be read or drawn.
void RenderSvg(Canvas& canvas, const std::filesystem::path& svg, int x, int y, int w, int h);

// Colour-keyed: alpha of at least half keeps the pixel's own (unpremultiplied) colour,
// anything fainter becomes exactly keyRgb; an opaque pixel equal to the key is nudged
// one step in green so it stays visible. Not keyed: composed over black.
// Result pixels are 0x00RRGGBB.
std::vector<uint32_t> Flatten(const Canvas& canvas, bool keyed, uint32_t keyRgb);

// Writes 0x00RRGGBB pixels as a PNG.
void WritePng(const std::filesystem::path& file, int w, int h, const std::vector<uint32_t>& rgb);

}  // namespace tk::assets
