#include "platform/GlyphTable.h"

#include <algorithm>
#include <stdexcept>

namespace tk::platform {

namespace {

// Whole pixels of a position in 1/64 pixel, rounding down (also below zero).
int32_t Floor64(int64_t v) { return static_cast<int32_t>(v >= 0 ? v / 64 : -((-v + 63) / 64)); }

constexpr std::string_view kMagic = "TKGLYPH2";
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

int GlyphTable::Width(std::string_view text) const {
  const std::vector<uint32_t> glyphs = GlyphsOf(text);
  int64_t pen = 0;
  int32_t left = 0, right = 0;
  for (size_t i = 0; i < glyphs.size(); ++i) {
    const auto g = Glyphs.find(glyphs[i]);
    if (g == Glyphs.end()) continue;
    PairAdjustment before, after;
    if (i > 0)
      if (auto it = Pairs.find({glyphs[i - 1], glyphs[i]}); it != Pairs.end()) before = it->second;
    if (i + 1 < glyphs.size())
      if (auto it = Pairs.find({glyphs[i], glyphs[i + 1]}); it != Pairs.end()) after = it->second;
    if (g->second.Width > 0) {
      const int32_t x = Floor64(pen + before.Offset) + g->second.Left;
      left = std::min(left, x);
      right = std::max(right, x + g->second.Width);
    }
    pen += g->second.Advance + after.Advance;
  }
  return std::max(right, Floor64(pen)) - left;
}

std::string GlyphTable::Serialize() const {
  std::string out(kMagic);
  PutText(out, Font);
  PutI32(out, PointSize);
  PutI32(out, CellHeight);
  PutU32(out, static_cast<uint32_t>(Glyphs.size()));
  for (const auto& [id, g] : Glyphs) {
    PutU32(out, id);
    PutI32(out, g.Advance);
    PutI32(out, g.Left);
    PutI32(out, g.Width);
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
  for (size_t n = r.Count(); n > 0; --n) {
    const uint32_t id = r.U32();
    GlyphMetrics g;
    g.Advance = r.I32();
    g.Left = r.I32();
    g.Width = r.I32();
    if (g.Width < 0) throw std::runtime_error("glyph table: a negative width");
    t.Glyphs[id] = g;
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
