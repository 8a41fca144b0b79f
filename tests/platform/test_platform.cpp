// The pieces both platforms share: the code page, the file layer, Internet shortcuts
// and the text renderer.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/Cp1251.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/Shortcut.h"
#include "platform/text/TtfText.h"

namespace tk {
namespace {

TEST(CodePage, RoundTripsEveryByteThatHasALetter) {
  std::string all;
  for (int b = 1; b < 256; ++b)
    if (b != 0x98) all += static_cast<char>(b);  // 0x98 is unused in Windows-1251
  EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(all)), all);
  EXPECT_EQ(Cp("Ёж"), std::string("\xA8\xE6"));
  EXPECT_EQ(Utf8ToCp1251("日本"), "??");  // outside the code page
  EXPECT_EQ(Utf8ToCp1251(std::string("a\xC3", 2)), "a?");  // cut sequence
}

TEST(CodePage, CaseMappingCoversCyrillic) {
  EXPECT_EQ(LowerCp1251(Cp("ТИНОКВАК Ёж")), Cp("тиноквак ёж"));
  EXPECT_TRUE(SameTextCp1251(Cp("Лягушка"), Cp("ЛЯГУШКА")));
  EXPECT_FALSE(SameTextCp1251("abc", "abd"));
  EXPECT_EQ(UpperCp1251(static_cast<unsigned char>(Cp("я")[0])),
            static_cast<unsigned char>(Cp("Я")[0]));
}

struct FilesFixture : ::testing::Test {
  std::filesystem::path old = std::filesystem::current_path();
  std::filesystem::path dir;
  FilesFixture() {
    std::string t = (std::filesystem::temp_directory_path() / "tk-files-XXXXXX").string();
    dir = mkdtemp(t.data());
    std::filesystem::create_directories(dir / "Data");
    std::ofstream(dir / "Data" / "Graphic.dxg") << "x";
    std::filesystem::current_path(dir);
  }
  ~FilesFixture() override {
    std::filesystem::current_path(old);
    std::filesystem::remove_all(dir);
  }
};

TEST_F(FilesFixture, NamesAreResolvedTheWindowsWay) {
  const std::filesystem::path want = std::filesystem::path("Data") / "Graphic.dxg";
  for (const char* name : {"Data\\Graphic.dxg", "data\\GRAPHIC.DXG", "Data/Graphic.dxg. ",
                           "DATA\\graphic.dxg..."}) {
    EXPECT_EQ(ResolvePath(name), want) << name;
    EXPECT_TRUE(FileExists(name)) << name;
  }
  EXPECT_FALSE(FileExists("Data\\Missing.dxg"));
  EXPECT_FALSE(FileExists("Data"));  // a folder is not a file
  EXPECT_EQ(ReadWholeFile("data\\graphic.dxg"), "x");
  try {
    ReadWholeFile("Data\\Missing.dxg");
    FAIL();
  } catch (const EFOpenError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file \"Data\\Missing.dxg\". No such file or directory");
  }
  // A folder of the name is refused with the system's words, not read as an empty file.
  try {
    ReadWholeFile("Data");
    FAIL();
  } catch (const EFOpenError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file \"Data\". Is a directory");
  }
}

// A mapped file gives the bytes a read gives, and fails where a read fails, in its words.
TEST_F(FilesFixture, AMappedFileIsWhatAReadGives) {
  std::string big(3 * 4096 + 17, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + 3);
  std::ofstream(dir / "Data" / "Big.dxg", std::ios::binary) << big;
  std::ofstream(dir / "Data" / "Empty.dxg").flush();
  for (const char* name : {"data\\big.dxg", "Data\\Graphic.dxg", "Data\\Empty.dxg"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(MapFileBytes(name)->View(), ReadFileBytes(name)->View());
  }
  EXPECT_EQ(MapFileBytes("Data\\Big.dxg")->View(), big);
  for (const char* name : {"Data\\Missing.dxg", "Data"}) {
    std::string read, mapped;
    try {
      ReadFileBytes(name);
    } catch (const EFOpenError& e) {
      read = e.what();
    }
    try {
      MapFileBytes(name);
    } catch (const EFOpenError& e) {
      mapped = e.what();
    }
    EXPECT_FALSE(read.empty()) << name;
    EXPECT_EQ(mapped, read) << name;
  }
}

TEST(InternetShortcut, TheUrlOfItsSection) {
  struct Case {
    const char* text;
    const char* url;
  };
  const Case cases[] = {
      {"[InternetShortcut]\r\nURL=http://a.example/x?y=1\r\n", "http://a.example/x?y=1"},
      {"[Other]\nURL=http://no\n[internetshortcut]\nIconIndex=0\nurl = \nURL=http://b/\n",
       "http://b/"},
      {"URL=http://outside/\n", ""},
      // A lone CR ends the line: nothing after it joins the address.
      {"[InternetShortcut]\rURL=http://c/\rcalc\r", "http://c/"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(platform::ReadInternetShortcutUrl(c.text), c.url);
}

TEST(Text, FontsAreFoundAndTextIsDrawnTransparently) {
  auto text = platform::MakeTtfTextRenderer();
  EXPECT_FALSE(platform::FindFontFile("Festival Nights JL").empty());
  EXPECT_FALSE(platform::FindFontFile("Verdana").empty());
  platform::TextStyle style{"Festival Nights JL", 21, 0xFFFF00};
  const int w = text->Width(Cp("Пауза"), style);
  EXPECT_GT(w, 40);
  EXPECT_GT(text->Width(Cp("Пауза"), {"Festival Nights JL", 42, 0}), w * 3 / 2);
  std::vector<uint32_t> px(200 * 60, 0x123456);
  text->Draw(px.data(), 200, 60, 200, 5, 5, Cp("Пауза"), style);
  int yellow = 0, untouched = 0;
  for (uint32_t p : px) {
    yellow += p == 0xFFFF00;
    untouched += p == 0x123456;
  }
  EXPECT_GT(yellow, 50);
  EXPECT_GT(untouched, 200 * 60 / 2);  // the background shows between the letters
  // Clipped at every edge without touching memory outside.
  text->Draw(px.data(), 200, 60, 200, -30, -10, Cp("Пауза"), style);
  text->Draw(px.data(), 200, 60, 200, 180, 50, Cp("Пауза"), style);
}

TEST(Text, TheCellHasItsTopAtYWithTheInternalLeadingAboveTheLetters) {
  // The display font's stand-in: Windows metrics 1285 / 276 per 1000 units, far more room
  // above the letters than its typographic ascent of 881.
  if (platform::FindFontFile("Festival Nights JL").find("Comfortaa") == std::string::npos)
    GTEST_SKIP() << "the display font is not the usual stand-in";
  auto text = platform::MakeTtfTextRenderer();
  const struct {
    int size, ascent, height;
  } cases[] = {{12, 21, 25}, {21, 36, 44}};  // 16 and 28 pixels to the em
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    const platform::TextStyle style{"Festival Nights JL", c.size, 0xFFFFFF};
    EXPECT_EQ(text->Height(Cp("Н"), style), c.height);
    // Flat-bottomed capitals, one with a mark above it: all end on the baseline.
    for (const char* letter : {"Н", "Й", "Ш"}) {
      std::vector<uint32_t> px(100 * 100, 0);
      text->Draw(px.data(), 100, 100, 100, 10, 7, Cp(letter), style);
      int top = -1, bottom = -1;
      for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x)
          if ((px[y * 100 + x] & 0xFF) >= 128) {
            if (top < 0) top = y;
            bottom = y;
          }
      EXPECT_EQ(bottom + 1, 7 + c.ascent) << letter << ": the baseline";
      if (std::string(letter) != "Й") {  // its breve may reach into the leading
        EXPECT_GT(top, 7 + c.ascent - c.size * 96 / 72) << letter << ": the leading above it";
      }
    }
  }
}

}  // namespace
}  // namespace tk
