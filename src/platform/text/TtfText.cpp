#include "platform/text/TtfText.h"

#include <SDL_ttf.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <cmath>

#include <algorithm>
#include <map>
#include <vector>
#include <memory>
#include <mutex>
#include <tuple>

#include "platform/Cp1251.h"

namespace tk::platform {

namespace {

std::string MatchFamily(const std::string& family, bool bold, std::string* matchedFamily) {
  std::string file;
  FcPattern* pat = FcPatternCreate();
  FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcPatternAddInteger(pat, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, pat, FcMatchPattern);
  FcDefaultSubstitute(pat);
  FcResult res;
  FcPattern* m = FcFontMatch(nullptr, pat, &res);
  if (m) {
    FcChar8* f = nullptr;
    FcChar8* fam = nullptr;
    if (FcPatternGetString(m, FC_FILE, 0, &f) == FcResultMatch) file = reinterpret_cast<char*>(f);
    if (FcPatternGetString(m, FC_FAMILY, 0, &fam) == FcResultMatch && matchedFamily)
      *matchedFamily = reinterpret_cast<char*>(fam);
    FcPatternDestroy(m);
  }
  FcPatternDestroy(pat);
  return file;
}

class TtfText : public ITextRenderer {
 public:
  TtfText() {
    if (!TTF_WasInit()) TTF_Init();
    if (FT_Init_FreeType(&ft_) != 0) ft_ = nullptr;
  }
  ~TtfText() override {
    for (auto& [k, f] : fonts_)
      if (f) TTF_CloseFont(f);
    if (ft_) FT_Done_FreeType(ft_);
  }

  void Draw(uint32_t* pixels, int width, int height, int pitch, int x, int y,
            const std::string& text, const TextStyle& style) override {
    if (text.empty()) return;
    const Mask* m = Coverage(text, style);
    if (!m) return;
    // The rendering has its baseline at the font's typographic ascent; the text cell
    // puts it lower, below the internal leading.
    y += Cell(style).Lead - m->Raised;
    const uint32_t r = (style.Color >> 16) & 0xFF, g = (style.Color >> 8) & 0xFF,
                   b = style.Color & 0xFF;
    for (int sy = 0; sy < m->H; ++sy) {
      const int dy = y + sy;
      if (dy < 0 || dy >= height) continue;
      const uint8_t* src = m->Alpha.get() + static_cast<size_t>(sy) * m->W;
      uint32_t* dst = pixels + static_cast<size_t>(dy) * pitch;
      const int x0 = std::max(0, -x), x1 = std::min(m->W, width - x);
      for (int sx = x0; sx < x1; ++sx) {
        const int dx = x + sx;
        const uint32_t a = src[sx];
        if (a == 0) continue;
        const uint32_t d = dst[dx];
        const uint32_t dr = (d >> 16) & 0xFF, dg = (d >> 8) & 0xFF, db = d & 0xFF;
        const uint32_t nr = (r * a + dr * (255 - a)) / 255;
        const uint32_t ng = (g * a + dg * (255 - a)) / 255;
        const uint32_t nb = (b * a + db * (255 - a)) / 255;
        dst[dx] = (nr << 16) | (ng << 8) | nb;
      }
    }
  }

  int Width(const std::string& text, const TextStyle& style) override {
    TTF_Font* font = Font(style);
    if (!font || text.empty()) return 0;
    int w = 0, h = 0;
    TTF_SizeUTF8(font, Cp1251ToUtf8(text).c_str(), &w, &h);
    return w;
  }

  // The height of the text cell, internal leading included.
  int Height(const std::string&, const TextStyle& style) override {
    const CellMetrics& c = Cell(style);
    return c.Ascent + c.Descent;
  }

 private:
  // A text cell as the game's positions assume it: its top at the given y, the baseline
  // one cell ascent below. The cell ascent and descent are the font's Windows metrics
  // (OS/2 usWinAscent and usWinDescent), which include the internal leading above the
  // letters; SDL_ttf places the baseline at the smaller typographic ascent. Lead is what
  // a rendering must move down to stand in the cell.
  struct CellMetrics {
    int Ascent = 0, Descent = 0, Lead = 0;
  };
  const CellMetrics& Cell(const TextStyle& style) {
    const auto key = std::make_tuple(style.FontName, style.PointSize);
    if (auto it = cells_.find(key); it != cells_.end()) return it->second;
    CellMetrics c;
    if (TTF_Font* font = Font(style)) {
      c.Ascent = TTF_FontAscent(font);
      c.Descent = -TTF_FontDescent(font);
      FT_Face face = nullptr;
      const std::string file = FindFontFile(style.FontName);
      if (ft_ && FT_New_Face(ft_, file.c_str(), 0, &face) == 0) {
        const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
        if (os2 && face->units_per_EM > 0 && os2->usWinAscent + os2->usWinDescent > 0) {
          const double ppem = style.PointSize * 96.0 / 72.0;
          const int ascent =
              static_cast<int>(std::nearbyint(os2->usWinAscent * ppem / face->units_per_EM));
          c.Descent =
              static_cast<int>(std::nearbyint(os2->usWinDescent * ppem / face->units_per_EM));
          c.Lead = std::max(0, ascent - c.Ascent);
          c.Ascent = ascent;
        }
        FT_Done_Face(face);
      }
    }
    return cells_.emplace(key, c).first->second;
  }
  std::map<std::tuple<std::string, int>, CellMetrics> cells_;
  FT_Library ft_ = nullptr;

  // Glyph coverage of one rendered text; the status lines repeat every frame, so the
  // rendering is kept and only the colour is applied per draw.
  struct Mask {
    int W = 0, H = 0;
    int Raised = 0;  // rows above the font's ascent, grown for a letter that reaches past it
    std::unique_ptr<uint8_t[]> Alpha;  // W x H, every byte written when it is made
  };
  // SDL_ttf makes a rendering taller at the top when a glyph (a capital with a mark over
  // it) rises above the font's ascent; the baseline moves down by as much.
  static int RaisedRows(TTF_Font* font, const std::string& text1251) {
    int top = TTF_FontAscent(font);
    for (unsigned char ch : text1251) {
      const std::string u = Cp1251ToUtf8(std::string(1, static_cast<char>(ch)));
      uint32_t cp = static_cast<unsigned char>(u[0]);
      if (u.size() == 2) cp = (cp & 0x1F) << 6 | (u[1] & 0x3F);
      if (u.size() == 3) cp = (cp & 0x0F) << 12 | (u[1] & 0x3F) << 6 | (u[2] & 0x3F);
      int minx, maxx, miny, maxy, advance;
      if (TTF_GlyphMetrics32(font, cp, &minx, &maxx, &miny, &maxy, &advance) == 0)
        top = std::max(top, maxy);
    }
    return top - TTF_FontAscent(font);
  }
  const Mask* Coverage(const std::string& text, const TextStyle& style) {
    const auto key = std::make_tuple(style.FontName, style.PointSize, text);
    if (auto it = masks_.find(key); it != masks_.end()) return &it->second;
    TTF_Font* font = Font(style);
    if (!font) return nullptr;
    SDL_Color white{255, 255, 255, 255};
    SDL_Surface* s = TTF_RenderUTF8_Blended(font, Cp1251ToUtf8(text).c_str(), white);
    if (!s) return nullptr;
    if (masks_.size() >= kMaxMasks) masks_.clear();
    Mask m;
    m.W = s->w;
    m.H = s->h;
    m.Raised = RaisedRows(font, text);
    m.Alpha.reset(new uint8_t[static_cast<size_t>(m.W) * m.H]);  // no zeros: all overwritten
    SDL_LockSurface(s);
    // Blended output is ARGB8888: the alpha carries the glyph coverage.
    for (int sy = 0; sy < s->h; ++sy) {
      const auto* src = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(s->pixels) +
                                                          static_cast<size_t>(sy) * s->pitch);
      for (int sx = 0; sx < s->w; ++sx)
        m.Alpha[static_cast<size_t>(sy) * m.W + sx] = static_cast<uint8_t>(src[sx] >> 24);
    }
    SDL_UnlockSurface(s);
    SDL_FreeSurface(s);
    return &masks_.emplace(key, std::move(m)).first->second;
  }
  static constexpr size_t kMaxMasks = 512;
  std::map<std::tuple<std::string, int, std::string>, Mask> masks_;

  TTF_Font* Font(const TextStyle& style) {
    const auto key = std::make_tuple(style.FontName, style.PointSize);
    auto it = fonts_.find(key);
    if (it != fonts_.end()) return it->second;
    TTF_Font* f = nullptr;
    const std::string file = FindFontFile(style.FontName);
    if (!file.empty() && style.PointSize > 0)
      f = TTF_OpenFontDPI(file.c_str(), style.PointSize, 96, 96);
    fonts_[key] = f;
    return f;
  }
  std::map<std::tuple<std::string, int>, TTF_Font*> fonts_;
};

}  // namespace

std::string FindFontFile(const std::string& family, bool bold) {
  std::string matched;
  std::string file = MatchFamily(family, bold, &matched);
  if (!file.empty() && SameTextCp1251(matched, family)) return file;
  // Not installed: the display font becomes a rounded friendly face with Cyrillic letters,
  // anything else a plain sans.
  const bool display = SameTextCp1251(family, "Festival Nights JL");
  file = MatchFamily(display ? "Comfortaa" : "DejaVu Sans", bold || display, nullptr);
  return file;
}

std::unique_ptr<ITextRenderer> MakeTtfTextRenderer() { return std::make_unique<TtfText>(); }

}  // namespace tk::platform
