// The measurements of one font at one size, made at build time by the desktop's text
// renderer's own libraries (tools/glyphs) for the builds that cannot run them (the
// browser's): each glyph's advance in 1/64 pixel and its picture's place and size, which
// glyph each Windows-1251 character takes, the ligatures ("fi"), and the shaping's
// adjustments between pairs of glyphs. A text's width comes out of it exactly as the
// desktop renderer measures it: the text becomes glyphs (the longest ligature first), the
// pen moves by the shaped advances in 1/64 pixel, each glyph's picture stands at the pen's
// whole pixel, and the text reaches from the leftmost picture to the rightmost picture or
// the pen's end, whichever is further.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tk::platform {

struct GlyphMetrics {
  int32_t Advance = 0;  // 1/64 pixel, as the glyph shapes alone
  int32_t Left = 0;     // the picture's left edge from the pen, pixels
  int32_t Width = 0;    // the picture's width, pixels
  int32_t Top = 0;      // the picture's top row above the baseline
  std::vector<uint8_t> Coverage;  // Width x rows, the glyph's anti-aliased coverage
  int Rows() const { return Width > 0 ? static_cast<int>(Coverage.size()) / Width : 0; }
};

// How shaping changes two neighbouring glyphs from the two alone, in 1/64 pixel: the
// first's advance and the second's offset.
struct PairAdjustment {
  int32_t Advance = 0;
  int32_t Offset = 0;
};

struct GlyphTable {
  std::string Font;
  int PointSize = 0;
  int CellHeight = 0;  // the text cell's height (the renderer's Height)
  int Baseline = 0;    // the baseline's row in the text cell
  int Ascent = 0;      // the renderer's ascent: a text's picture starts this far above
                       // the baseline, or as far as its highest character reaches
  std::map<uint32_t, GlyphMetrics> Glyphs;          // by the font's glyph number
  std::map<uint8_t, uint32_t> CharGlyphs;           // a character's glyph; absent: none
  std::map<std::string, uint32_t> Ligatures;        // two or more characters as one glyph
  std::map<std::pair<uint32_t, uint32_t>, PairAdjustment> Pairs;  // only those that change

  // The glyphs a text is drawn with, as the shaping makes them.
  std::vector<uint32_t> GlyphsOf(std::string_view text1251) const;
  int Width(std::string_view text1251) const;
  // Draws the text with the top-left corner of its cell at (x, y) in 0xRRGGBB, as the
  // renderer does: each pixel takes the colour by the glyphs' coverage.
  void Draw(uint32_t* pixels, int width, int height, int pitchPixels, int x, int y,
            std::string_view text1251, uint32_t color) const;

  // A table as bytes and back; Parse throws std::runtime_error on a damaged one.
  std::string Serialize() const;
  static GlyphTable Parse(std::string_view bytes);
};

}  // namespace tk::platform
