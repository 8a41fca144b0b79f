// Text drawing with named fonts on 32-bit surfaces. One implementation (SDL_ttf with
// fontconfig) serves both platforms, so headless screenshots show the same letters.
#pragma once

#include <cstdint>
#include <string>

namespace tk::platform {

struct TextStyle {
  std::string FontName = "Festival Nights JL";
  int PointSize = 12;     // Windows points at 96 dots per inch
  uint32_t Color = 0xFFFF00;  // 0xRRGGBB
};

class ITextRenderer {
 public:
  virtual ~ITextRenderer() = default;
  // Draws Windows-1251 text with its top-left corner at (x, y); transparent background.
  virtual void Draw(uint32_t* pixels, int width, int height, int pitchPixels, int x, int y,
                    const std::string& text1251, const TextStyle& style) = 0;
  virtual int Width(const std::string& text1251, const TextStyle& style) = 0;
  virtual int Height(const std::string& text1251, const TextStyle& style) = 0;
};

}  // namespace tk::platform
