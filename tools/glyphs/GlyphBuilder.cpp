#include "GlyphBuilder.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include <hb-ft.h>
#include <hb.h>
#include <SDL_ttf.h>

#include <map>
#include <memory>
#include <stdexcept>
#include <vector>

#include "platform/Cp1251.h"
#include "platform/text/TtfText.h"

namespace tk::glyphs {

namespace {

struct Shaped {
  hb_codepoint_t Glyph;
  hb_position_t Advance, Offset;
};

class Shaper {
 public:
  Shaper(const std::string& file, int pointSize) {
    if (FT_Init_FreeType(&lib_) != 0) throw std::runtime_error("FreeType does not start");
    if (FT_New_Face(lib_, file.c_str(), 0, &face_) != 0)
      throw std::runtime_error("cannot open the font " + file);
    // The desktop renderer's size: points at 96 dots per inch, hinted as by default.
    FT_Set_Char_Size(face_, 0, pointSize * 64, 96, 96);
    font_ = hb_ft_font_create_referenced(face_);
    hb_ft_font_set_load_flags(font_, FT_LOAD_DEFAULT);
    buf_ = hb_buffer_create();
  }
  ~Shaper() {
    hb_buffer_destroy(buf_);
    hb_font_destroy(font_);  // releases the face it references
    FT_Done_FreeType(lib_);
  }
  Shaper(const Shaper&) = delete;
  Shaper& operator=(const Shaper&) = delete;

  std::vector<Shaped> Shape(const std::string& text1251) {
    const std::string u = Cp1251ToUtf8(text1251);
    hb_buffer_reset(buf_);
    hb_buffer_add_utf8(buf_, u.c_str(), static_cast<int>(u.size()), 0, -1);
    // As the renderer shapes: left to right, no script guessed from the letters (which
    // would turn ligatures on or off with the text's first letter).
    hb_buffer_set_direction(buf_, HB_DIRECTION_LTR);
    hb_buffer_set_script(buf_, HB_SCRIPT_UNKNOWN);
    hb_buffer_guess_segment_properties(buf_);
    hb_shape(font_, buf_, nullptr, 0);
    unsigned n = 0;
    const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buf_, &n);
    const hb_glyph_position_t* pos = hb_buffer_get_glyph_positions(buf_, &n);
    std::vector<Shaped> out;
    for (unsigned i = 0; i < n; ++i) out.push_back({info[i].codepoint, pos[i].x_advance, pos[i].x_offset});
    return out;
  }
  // The glyph's picture as the renderer draws it: its place and its coverage.
  bool Picture(hb_codepoint_t glyph, platform::GlyphMetrics& m) {
    if (FT_Load_Glyph(face_, glyph, FT_LOAD_DEFAULT) != 0) return false;
    if (FT_Render_Glyph(face_->glyph, FT_RENDER_MODE_NORMAL) != 0) return false;
    const FT_Bitmap& bm = face_->glyph->bitmap;
    if (bm.pixel_mode != FT_PIXEL_MODE_GRAY && bm.width > 0) return false;
    m.Left = face_->glyph->bitmap_left;
    m.Top = face_->glyph->bitmap_top;
    m.Width = static_cast<int32_t>(bm.width);
    m.Coverage.clear();
    for (unsigned r = 0; r < bm.rows && bm.width > 0; ++r) {
      const unsigned char* row = bm.buffer + static_cast<ptrdiff_t>(r) * bm.pitch;
      m.Coverage.insert(m.Coverage.end(), row, row + bm.width);
    }
    return true;
  }

 private:
  FT_Library lib_ = nullptr;
  FT_Face face_ = nullptr;
  hb_font_t* font_ = nullptr;
  hb_buffer_t* buf_ = nullptr;
};

}  // namespace

platform::GlyphTable BuildGlyphTable(const std::string& family, int pointSize) {
  const std::string file = platform::FindFontFile(family);
  if (file.empty()) throw std::runtime_error("no font file for " + family);
  Shaper shaper(file, pointSize);
  platform::GlyphTable t;
  t.Font = family;
  t.PointSize = pointSize;
  t.CellHeight = platform::MakeTtfTextRenderer()->Height("", {family, pointSize, 0});
  // A glyph as it shapes alone; every one the table names is measured once.
  std::map<uint32_t, Shaped> alone;
  auto measure = [&](const Shaped& g) {
    if (t.Glyphs.count(g.Glyph)) return true;
    platform::GlyphMetrics m;
    if (!shaper.Picture(g.Glyph, m)) return false;
    m.Advance = g.Advance;
    t.Glyphs[g.Glyph] = std::move(m);
    alone[g.Glyph] = g;
    return true;
  };
  // The units a text is made of: single characters, then the ligatures.
  std::vector<std::string> units;
  for (int c = 1; c < 256; ++c) {
    const std::string s(1, static_cast<char>(c));
    if (Cp1251ToUtf8(s).empty()) continue;  // no character at this code
    // Control characters and the soft hyphen: the shaping hides them beside others, and
    // no text of the game holds them (nor can a player type them).
    if (c < 0x20 || c == 0xAD) continue;
    const std::vector<Shaped> g = shaper.Shape(s);
    if (g.size() != 1 || g[0].Offset != 0 || !measure(g[0])) continue;
    t.CharGlyphs[static_cast<uint8_t>(c)] = g[0].Glyph;
    units.push_back(s);
  }
  // Ligatures grow a character at a time: a pair that shapes into one glyph, then that
  // pair and one more.
  std::vector<std::string> grow = units;
  while (!grow.empty()) {
    std::vector<std::string> next;
    for (const std::string& head : grow)
      for (const auto& [ch, glyph] : t.CharGlyphs) {
        const std::string s = head + static_cast<char>(ch);
        const std::vector<Shaped> g = shaper.Shape(s);
        if (g.size() != 1 || g[0].Offset != 0 || !measure(g[0])) continue;
        t.Ligatures[s] = g[0].Glyph;
        next.push_back(s);
      }
    grow = std::move(next);
  }
  for (const auto& [chars, glyph] : t.Ligatures) units.push_back(chars);
  // The baseline's row in the text cell, where the renderer puts a capital's top.
  {
    const auto h = t.CharGlyphs.find('H');
    if (h == t.CharGlyphs.end()) throw std::runtime_error(family + " has no letter H");
    const platform::GlyphMetrics& g = t.Glyphs.at(h->second);
    const int w = 64, rows = 4 * t.CellHeight + 64;
    std::vector<uint32_t> pixels(static_cast<size_t>(w) * rows, 0);
    platform::MakeTtfTextRenderer()->Draw(pixels.data(), w, rows, w, 8, 32, "H",
                                          {family, pointSize, 0xFFFFFF});
    int drawn = -1, own = -1;
    for (int r = 0; r < rows && drawn < 0; ++r)
      for (int c = 0; c < w; ++c)
        if (pixels[static_cast<size_t>(r) * w + c] != 0) {
          drawn = r - 32;
          break;
        }
    for (int r = 0; r < g.Rows() && own < 0; ++r)
      for (int c = 0; c < g.Width; ++c)
        if (g.Coverage[static_cast<size_t>(r) * g.Width + c] != 0) {
          own = r;
          break;
        }
    if (drawn < 0 || own < 0) throw std::runtime_error(family + " draws no H");
    t.Baseline = drawn - own + g.Top;
  }
  if (TTF_Font* f = TTF_OpenFontDPI(file.c_str(), pointSize, 96, 96)) {
    t.Ascent = TTF_FontAscent(f);
    TTF_CloseFont(f);
  } else {
    throw std::runtime_error("the renderer cannot open " + file);
  }
  // Every two units side by side: where they stay the same two glyphs, what the shaping
  // changes between them. Where they do not (an "f" before an "i" of "fi"), the table's
  // own reading of the text never puts them side by side.
  for (const std::string& a : units)
    for (const std::string& b : units) {
      const std::vector<uint32_t> want = t.GlyphsOf(a + b);
      const std::vector<Shaped> g = shaper.Shape(a + b);
      if (g.size() != want.size())
        throw std::runtime_error(family + " shapes \"" + Cp1251ToUtf8(a + b) +
                                 "\" into other glyphs than the table reads");
      for (size_t i = 0; i < g.size(); ++i)
        if (g[i].Glyph != want[i])
          throw std::runtime_error(family + " shapes \"" + Cp1251ToUtf8(a + b) +
                                   "\" into other glyphs than the table reads");
      if (g.size() != 2) continue;
      const platform::PairAdjustment adj{g[0].Advance - alone[g[0].Glyph].Advance,
                                         g[1].Offset - alone[g[1].Glyph].Offset};
      if (g[1].Advance != alone[g[1].Glyph].Advance || g[0].Offset != alone[g[0].Glyph].Offset)
        throw std::runtime_error(family + " shapes \"" + Cp1251ToUtf8(a + b) +
                                 "\" in a way a pair cannot hold");
      if (adj.Advance != 0 || adj.Offset != 0) t.Pairs[{g[0].Glyph, g[1].Glyph}] = adj;
    }
  return t;
}

}  // namespace tk::glyphs
