#include "platform/GlyphTable.h"

#include <algorithm>
#include <stdexcept>

namespace tk::platform {

namespace {

// Whole pixels of a position in 1/64 pixel, rounding down (also below zero).
int32_t Floor64(int64_t v) { return static_cast<int32_t>(v >= 0 ? v / 64 : -((-v + 63) / 64)); }

constexpr std::string_view kMagic = "TKGLYPH3";
constexpr size_t kMaxEntries = 1 << 20;

void PutU32(std::string& out, uint32_t u) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((u >> (8 * i)) & 0xFF));
}
void PutI32(std::string& out, int32_t v) { PutU32(out, static_cast<uint32_t>(v)); }
void PutText(std::string& out, const std::string& s) {
  PutU32(out, static_cast<uint32_t>(s.size()));
  out += s;
}

class Reader {
 public:
  explicit Reader(std::string_view in) : in_(in) {}
  uint32_t U32() {
    if (in_.size() - pos_ < 4) throw std::runtime_error("glyph table: cut short");
    uint32_t u = 0;
    for (int i = 0; i < 4; ++i) u |= uint32_t{static_cast<uint8_t>(in_[pos_ + i])} << (8 * i);
    pos_ += 4;
    return u;
  }
  int32_t I32() { return static_cast<int32_t>(U32()); }
  size_t Count() {
    const uint32_t n = U32();
    if (n > kMaxEntries) throw std::runtime_error("glyph table: a count out of range");
    return n;
  }
  std::string Text(size_t max) {
    const uint32_t n = U32();
    if (n > max || in_.size() - pos_ < n) throw std::runtime_error("glyph table: a text too long");
    std::string s(in_.substr(pos_, n));
    pos_ += n;
    return s;
  }
  void Expect(std::string_view bytes) {
    if (in_.substr(pos_, bytes.size()) != bytes) throw std::runtime_error("glyph table: not one");
    pos_ += bytes.size();
  }
  bool AtEnd() const { return pos_ == in_.size(); }

 private:
  std::string_view in_;
  size_t pos_ = 0;
};

}  // namespace

std::vector<uint32_t> GlyphTable::GlyphsOf(std::string_view text) const {
  size_t longest = 0;
  for (const auto& [chars, glyph] : Ligatures) longest = std::max(longest, chars.size());
  std::vector<uint32_t> out;
  for (size_t i = 0; i < text.size();) {
    bool joined = false;
    for (size_t n = std::min(longest, text.size() - i); n >= 2 && !joined; --n) {
      const auto it = Ligatures.find(std::string(text.substr(i, n)));
      if (it != Ligatures.end()) {
        out.push_back(it->second);
        i += n;
        joined = true;
      }
    }
    if (joined) continue;
    const auto it = CharGlyphs.find(static_cast<uint8_t>(text[i]));
    if (it != CharGlyphs.end()) out.push_back(it->second);
    ++i;
  }
  return out;
}

namespace {

struct Placed {
  const GlyphMetrics* Glyph;
  int32_t X;  // the picture's left edge, pixels from the pen's start
};

// Where each glyph's picture stands, and how far the pen gets (1/64 pixel).
std::vector<Placed> Place(const GlyphTable& t, std::string_view text, int64_t& pen) {
  const std::vector<uint32_t> glyphs = t.GlyphsOf(text);
  std::vector<Placed> out;
  pen = 0;
  for (size_t i = 0; i < glyphs.size(); ++i) {
    const auto g = t.Glyphs.find(glyphs[i]);
    if (g == t.Glyphs.end()) continue;
    PairAdjustment before, after;
    if (i > 0)
      if (auto it = t.Pairs.find({glyphs[i - 1], glyphs[i]}); it != t.Pairs.end()) before = it->second;
    if (i + 1 < glyphs.size())
      if (auto it = t.Pairs.find({glyphs[i], glyphs[i + 1]}); it != t.Pairs.end()) after = it->second;
    out.push_back({&g->second, Floor64(pen + before.Offset) + g->second.Left});
    pen += g->second.Advance + after.Advance;
  }
  return out;
}

}  // namespace

int GlyphTable::Width(std::string_view text) const {
  int64_t pen = 0;
  int32_t left = 0, right = 0;
  for (const Placed& p : Place(*this, text, pen))
    if (p.Glyph->Width > 0) {
      left = std::min(left, p.X);
      right = std::max(right, p.X + p.Glyph->Width);
    }
  return std::max(right, Floor64(pen)) - left;
}

void GlyphTable::Draw(uint32_t* pixels, int width, int height, int pitch, int x, int y,
                      std::string_view text, uint32_t color) const {
  int64_t pen = 0;
  const std::vector<Placed> placed = Place(*this, text, pen);
  int32_t left = 0;
  for (const Placed& p : placed)
    if (p.Glyph->Width > 0) left = std::min(left, p.X);
  // The picture reaches up to the ascent or the highest character's top; a ligature that
  // rises further is cut there, as the renderer cuts it.
  int reach = Ascent;
  for (char ch : text)
    if (auto c = CharGlyphs.find(static_cast<uint8_t>(ch)); c != CharGlyphs.end())
      if (auto g = Glyphs.find(c->second); g != Glyphs.end()) reach = std::max(reach, g->second.Top);
  // The glyphs' coverage gathered first: where two pictures overlap, the renderer ORs
  // their coverage bits (neither the last, the larger nor the sum: each differs somewhere).
  const int w = Width(text);
  const int top = Baseline - reach;
  int bottom = top;
  for (const Placed& p : placed) bottom = std::max(bottom, Baseline - p.Glyph->Top + p.Glyph->Rows());
  const int h = bottom - top;
  if (w <= 0 || h <= 0) return;
  std::vector<uint8_t> mask(static_cast<size_t>(w) * h);
  for (const Placed& p : placed) {
    const GlyphMetrics& g = *p.Glyph;
    const int gx = p.X - left, gy = Baseline - g.Top - top;
    for (int r = std::max(0, -gy); r < g.Rows(); ++r)
      for (int c = 0; c < g.Width; ++c) {
        if (gx + c < 0 || gx + c >= w) continue;
        uint8_t& m = mask[static_cast<size_t>(gy + r) * w + gx + c];
        m |= g.Coverage[static_cast<size_t>(r) * g.Width + c];
      }
  }
  const uint32_t cr = (color >> 16) & 0xFF, cg = (color >> 8) & 0xFF, cb = color & 0xFF;
  for (int my = 0; my < h; ++my) {
    const int dy = y + top + my;
    if (dy < 0 || dy >= height) continue;
    uint32_t* row = pixels + static_cast<size_t>(dy) * pitch;
    for (int mx = 0; mx < w; ++mx) {
      const int dx = x + mx;
      const uint32_t a = mask[static_cast<size_t>(my) * w + mx];
      if (dx < 0 || dx >= width || a == 0) continue;
      const uint32_t d = row[dx];
      const uint32_t nr = (cr * a + ((d >> 16) & 0xFF) * (255 - a)) / 255;
      const uint32_t ng = (cg * a + ((d >> 8) & 0xFF) * (255 - a)) / 255;
      const uint32_t nb = (cb * a + (d & 0xFF) * (255 - a)) / 255;
      row[dx] = (nr << 16) | (ng << 8) | nb;
    }
  }
}

std::string GlyphTable::Serialize() const {
  std::string out(kMagic);
  PutText(out, Font);
  PutI32(out, PointSize);
  PutI32(out, CellHeight);
  PutI32(out, Baseline);
  PutI32(out, Ascent);
  PutU32(out, static_cast<uint32_t>(Glyphs.size()));
  for (const auto& [id, g] : Glyphs) {
    PutU32(out, id);
    PutI32(out, g.Advance);
    PutI32(out, g.Left);
    PutI32(out, g.Width);
    PutI32(out, g.Top);
    PutU32(out, static_cast<uint32_t>(g.Coverage.size()));
    out.append(g.Coverage.begin(), g.Coverage.end());
  }
  PutU32(out, static_cast<uint32_t>(CharGlyphs.size()));
  for (const auto& [ch, id] : CharGlyphs) {
    PutU32(out, ch);
    PutU32(out, id);
  }
  PutU32(out, static_cast<uint32_t>(Ligatures.size()));
  for (const auto& [chars, id] : Ligatures) {
    PutText(out, chars);
    PutU32(out, id);
  }
  PutU32(out, static_cast<uint32_t>(Pairs.size()));
  for (const auto& [key, adj] : Pairs) {
    PutU32(out, key.first);
    PutU32(out, key.second);
    PutI32(out, adj.Advance);
    PutI32(out, adj.Offset);
  }
  return out;
}

GlyphTable GlyphTable::Parse(std::string_view bytes) {
  Reader r(bytes);
  r.Expect(kMagic);
  GlyphTable t;
  t.Font = r.Text(256);
  t.PointSize = r.I32();
  t.CellHeight = r.I32();
  t.Baseline = r.I32();
  t.Ascent = r.I32();
  for (size_t n = r.Count(); n > 0; --n) {
    const uint32_t id = r.U32();
    GlyphMetrics g;
    g.Advance = r.I32();
    g.Left = r.I32();
    g.Width = r.I32();
    g.Top = r.I32();
    if (g.Width < 0 || g.Width > 4096) throw std::runtime_error("glyph table: a width out of range");
    const std::string coverage = r.Text(1 << 22);
    if (g.Width == 0 ? !coverage.empty() : coverage.size() % static_cast<size_t>(g.Width) != 0)
      throw std::runtime_error("glyph table: a picture of broken rows");
    g.Coverage.assign(coverage.begin(), coverage.end());
    t.Glyphs[id] = std::move(g);
  }
  for (size_t n = r.Count(); n > 0; --n) {
    const uint32_t ch = r.U32();
    if (ch == 0 || ch > 255) throw std::runtime_error("glyph table: a character out of range");
    t.CharGlyphs[static_cast<uint8_t>(ch)] = r.U32();
  }
  for (size_t n = r.Count(); n > 0; --n) {
    std::string chars = r.Text(16);
    if (chars.size() < 2) throw std::runtime_error("glyph table: a ligature of one character");
    t.Ligatures[std::move(chars)] = r.U32();
  }
  for (size_t n = r.Count(); n > 0; --n) {
    const uint32_t a = r.U32(), b = r.U32();
    PairAdjustment adj;
    adj.Advance = r.I32();
    adj.Offset = r.I32();
    t.Pairs[{a, b}] = adj;
  }
  if (!r.AtEnd()) throw std::runtime_error("glyph table: bytes after its end");
  return t;
}

}  // namespace tk::platform
