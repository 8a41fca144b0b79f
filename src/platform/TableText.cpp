#include "platform/TableText.h"

#include <iostream>
#include <map>
#include <set>
#include <stdexcept>
#include <tuple>

#include "platform/Cp1251.h"

namespace tk::platform {

std::vector<GlyphTable> ParseGlyphTables(std::string_view bytes) {
  std::vector<GlyphTable> out;
  size_t pos = 0;
  while (pos < bytes.size()) {
    if (bytes.size() - pos < 4) throw std::runtime_error("glyph tables: cut short");
    uint32_t n = 0;
    for (int i = 0; i < 4; ++i) n |= uint32_t{static_cast<uint8_t>(bytes[pos + i])} << (8 * i);
    pos += 4;
    if (n > bytes.size() - pos) throw std::runtime_error("glyph tables: cut short");
    out.push_back(GlyphTable::Parse(bytes.substr(pos, n)));
    pos += n;
  }
  return out;
}

namespace {

class TableText : public ITextRenderer {
 public:
  explicit TableText(std::vector<GlyphTable> tables) : tables_(std::move(tables)) {
    for (const GlyphTable& t : tables_) byStyle_[{Key(t.Font), t.PointSize}] = &t;
  }

  void Draw(uint32_t* pixels, int width, int height, int pitch, int x, int y,
            const std::string& text, const TextStyle& style) override {
    if (const GlyphTable* t = Find(style)) t->Draw(pixels, width, height, pitch, x, y, text, style.Color);
  }
  int Width(const std::string& text, const TextStyle& style) override {
    const GlyphTable* t = Find(style);
    return t ? t->Width(text) : 0;
  }
  int Height(const std::string&, const TextStyle& style) override {
    const GlyphTable* t = Find(style);
    return t ? t->CellHeight : 0;
  }

 private:
  // Family names compare as the desktop's font lookup compares them: case aside.
  static std::string Key(const std::string& family) { return LowerCp1251(family); }

  const GlyphTable* Find(const TextStyle& style) {
    const auto key = std::make_tuple(Key(style.FontName), style.PointSize);
    if (auto it = byStyle_.find(key); it != byStyle_.end()) return it->second;
    if (missing_.insert(key).second)
      std::cerr << "no glyph table for " << Cp1251ToUtf8(style.FontName) << " at " << style.PointSize
                << " points: its texts stay blank\n";
    return nullptr;
  }

  std::vector<GlyphTable> tables_;
  std::map<std::tuple<std::string, int>, const GlyphTable*> byStyle_;
  std::set<std::tuple<std::string, int>> missing_;
};

}  // namespace

std::unique_ptr<ITextRenderer> MakeTableTextRenderer(std::vector<GlyphTable> tables) {
  return std::make_unique<TableText>(std::move(tables));
}

}  // namespace tk::platform
