#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "exitscreen/Description.h"

namespace tk {
namespace {

namespace fs = std::filesystem;
using TLines = std::vector<std::string>;

// Line numbers (from 0) of the two-button description below.
enum : size_t {
  kCount = 0, kBackground, kHover1, kNormal1, kImage1, kHoverImage1, kTarget1,
  kExitHover, kExitNormal, kExitDisabled, kExitImage, kExitHoverImage, kExitDisabledImage,
  kCentre, kSeconds, kColour, kFontFlag, kFontSize, kLineCount
};

TLines TwoButtons() {
  return {"2",
          "wdata\\bg.jpg",
          "10 20 100 50",
          "12 22 100 50",
          "wdata\\games_n.bmp",
          "wdata\\games_h.bmp",
          "wdata\\games.url",
          "600 500 150 25",
          "601 501 150 25",
          "602 502 150 25",
          "wdata\\exit_n.bmp",
          "wdata\\exit_h.bmp",
          "wdata\\exit_d.bmp",
          "400 300",
          "5",
          "255 128 0",
          "TRUE",
          "24"};
}

// The files that exist, and every name asked about.
class TFakeFiles {
 public:
  TFakeFiles()
      : files_{"wdata\\bg.jpg",     "wdata\\games_n.bmp", "wdata\\games_h.bmp",
               "wdata\\games.url",  "wdata\\exit_n.bmp",  "wdata\\exit_h.bmp",
               "wdata\\exit_d.bmp"} {}
  TFileExistsFn Fn() {
    return [this](std::string_view name) {
      asked.emplace_back(name);
      return files_.count(std::string(name)) > 0;
    };
  }
  void Remove(const std::string& name) { files_.erase(name); }
  std::vector<std::string> asked;

 private:
  std::set<std::string> files_;
};

std::string Join(const TLines& lines, const char* end = "\n") {
  std::string text;
  for (const auto& line : lines) text += line + end;
  return text;
}

TEST(ExitScreenDescription, ReadsEveryField) {
  TFakeFiles files;
  const TExitScreenDescription d = ReadExitScreenDescription(Join(TwoButtons()), files.Fn());
  ASSERT_TRUE(d.ScreenValid);
  EXPECT_EQ(d.ButtonCount, 2);
  EXPECT_EQ(d.Background, "wdata\\bg.jpg");
  ASSERT_EQ(d.Buttons.size(), 2u);

  const auto& games = d.Buttons[0];
  EXPECT_FALSE(games.IsExit);
  EXPECT_EQ(games.HoverRect, (TExitRect{10, 20, 100, 50}));
  EXPECT_EQ(games.NormalRect, (TExitRect{12, 22, 100, 50}));
  EXPECT_EQ(games.DisabledRect, games.NormalRect);  // no disabled state of its own
  EXPECT_EQ(games.NormalImage, "wdata\\games_n.bmp");
  EXPECT_EQ(games.HoverImage, "wdata\\games_h.bmp");
  EXPECT_EQ(games.DisabledImage, games.NormalImage);
  EXPECT_EQ(games.Target, "wdata\\games.url");

  const auto& exit = d.Buttons[1];
  EXPECT_TRUE(exit.IsExit);
  EXPECT_EQ(exit.Target, "exit");
  EXPECT_EQ(exit.HoverRect, (TExitRect{600, 500, 150, 25}));
  EXPECT_EQ(exit.NormalRect, (TExitRect{601, 501, 150, 25}));
  EXPECT_EQ(exit.DisabledRect, (TExitRect{602, 502, 150, 25}));
  EXPECT_EQ(exit.NormalImage, "wdata\\exit_n.bmp");
  EXPECT_EQ(exit.HoverImage, "wdata\\exit_h.bmp");
  EXPECT_EQ(exit.DisabledImage, "wdata\\exit_d.bmp");

  EXPECT_EQ(d.CountdownX, 400);
  EXPECT_EQ(d.CountdownY, 300);
  EXPECT_EQ(d.CountdownTenths, 50);
  EXPECT_EQ(d.CountdownColor, 0x000080FFu);  // 0x00BBGGRR
  EXPECT_TRUE(d.FontSizeGiven);
  EXPECT_EQ(d.FontSize, 24);
  EXPECT_EQ(files.asked.size(), 7u);  // every path checked once
}

struct TCase {
  const char* name;
  std::function<void(TLines&, TFakeFiles&)> edit;
  bool valid;
  std::function<void(const TExitScreenDescription&, const TFakeFiles&)> check;
};

void PrintTo(const TCase& c, std::ostream* os) { *os << c.name; }

class DescriptionCase : public testing::TestWithParam<TCase> {};

TEST_P(DescriptionCase, Reads) {
  const TCase& c = GetParam();
  TLines lines = TwoButtons();
  TFakeFiles files;
  c.edit(lines, files);
  const TExitScreenDescription d = ReadExitScreenDescription(Join(lines), files.Fn());
  EXPECT_EQ(d.ScreenValid, c.valid);
  if (c.check) c.check(d, files);
}

void Set(TLines& lines, size_t i, std::string text) { lines[i] = std::move(text); }

const TCase kCases[] = {
    {"LeadingBlanksAreStripped",
     [](TLines& l, TFakeFiles&) {
       for (auto& line : l) line = "  \t " + line;
     },
     true,
     [](const TExitScreenDescription& d, const TFakeFiles&) {
       EXPECT_EQ(d.Background, "wdata\\bg.jpg");
       EXPECT_EQ(d.FontSize, 24);
     }},
    {"TrailingBlanksOfAPathStay",
     [](TLines& l, TFakeFiles&) { l[kBackground] += "  "; }, false,
     [](const TExitScreenDescription& d, const TFakeFiles& f) {
       EXPECT_EQ(d.Background, "wdata\\bg.jpg  ");
       EXPECT_EQ(f.asked, std::vector<std::string>{"wdata\\bg.jpg  "});
     }},
    {"TrailingBlankAfterANumber", [](TLines& l, TFakeFiles&) { Set(l, kSeconds, "5 "); }, false,
     [](const TExitScreenDescription& d, const TFakeFiles&) { EXPECT_EQ(d.CountdownTenths, 0); }},
    {"TwoBlanksBetweenNumbers", [](TLines& l, TFakeFiles&) { Set(l, kCentre, "400  300"); },
     false,
     [](const TExitScreenDescription& d, const TFakeFiles&) {
       EXPECT_EQ(d.CountdownX, 400);
       EXPECT_EQ(d.CountdownY, 0);
     }},
    {"TwoBlanksInsideARect", [](TLines& l, TFakeFiles&) { Set(l, kNormal1, "12 22  100 50"); },
     false,
     [](const TExitScreenDescription& d, const TFakeFiles& f) {
       EXPECT_EQ(d.Buttons[0].NormalRect, (TExitRect{12, 22, 0, 0}));
       EXPECT_EQ(f.asked.size(), 1u);  // nothing after the rect was read
       EXPECT_EQ(d.Buttons[0].NormalImage, "");
       EXPECT_EQ(d.CountdownTenths, 0);
     }},
    {"TooFewNumbers", [](TLines& l, TFakeFiles&) { Set(l, kColour, "255 128"); }, false,
     [](const TExitScreenDescription& d, const TFakeFiles&) {
       EXPECT_EQ(d.CountdownColor, 0x000080FFu & 0xFFFFu);
       EXPECT_FALSE(d.FontSizeGiven);
     }},
    {"TooManyNumbers", [](TLines& l, TFakeFiles&) { Set(l, kCentre, "400 300 7"); }, false,
     nullptr},
    {"EmptyNumberLine", [](TLines& l, TFakeFiles&) { Set(l, kSeconds, ""); }, false, nullptr},
    {"NotAnIntegerReadsAsZero",
     [](TLines& l, TFakeFiles&) { Set(l, kHover1, "10 2O 100 50"); }, false,
     [](const TExitScreenDescription& d, const TFakeFiles&) {
       EXPECT_EQ(d.Buttons[0].HoverRect, (TExitRect{10, 0, 100, 50}));
     }},
    {"OutOfRangeNumber", [](TLines& l, TFakeFiles&) { Set(l, kSeconds, "2147483648"); }, false,
     nullptr},
    {"SignedNumbers", [](TLines& l, TFakeFiles&) { Set(l, kCentre, "-40 +30"); }, true,
     [](const TExitScreenDescription& d, const TFakeFiles&) {
       EXPECT_EQ(d.CountdownX, -40);
       EXPECT_EQ(d.CountdownY, 30);
     }},
    {"LowerCaseTrueMeansNoFontSize",
     [](TLines& l, TFakeFiles&) {
       Set(l, kFontFlag, "true");
       Set(l, kFontSize, "not read");
     },
     true,
     [](const TExitScreenDescription& d, const TFakeFiles&) {
       EXPECT_FALSE(d.FontSizeGiven);
       EXPECT_EQ(d.FontSize, 15);  // 0.6 × the exit button's normal height 25
     }},
    {"FontSizeFromTheExitButtonsNormalHeight",
     [](TLines& l, TFakeFiles&) {
       Set(l, kExitNormal, "601 501 150 35");
       l.resize(kFontFlag);
       l.push_back("FALSE");
     },
     true,
     [](const TExitScreenDescription& d, const TFakeFiles&) { EXPECT_EQ(d.FontSize, 21); }},
    {"TrueWithATrailingBlank", [](TLines& l, TFakeFiles&) { Set(l, kFontFlag, "TRUE "); }, true,
     [](const TExitScreenDescription& d, const TFakeFiles&) { EXPECT_FALSE(d.FontSizeGiven); }},
    {"TrueWithoutTheSize", [](TLines& l, TFakeFiles&) { l.resize(kFontSize); }, false,
     [](const TExitScreenDescription& d, const TFakeFiles&) { EXPECT_TRUE(d.FontSizeGiven); }},
    {"EndsBeforeTheFontFlag", [](TLines& l, TFakeFiles&) { l.resize(kFontFlag); }, false,
     nullptr},
    {"EndsInsideAButton", [](TLines& l, TFakeFiles&) { l.resize(kImage1); }, false,
     [](const TExitScreenDescription& d, const TFakeFiles&) {
       ASSERT_EQ(d.Buttons.size(), 1u);
       EXPECT_EQ(d.Buttons[0].NormalImage, "");
     }},
    {"EmptyFile", [](TLines& l, TFakeFiles&) { l.clear(); }, false,
     [](const TExitScreenDescription& d, const TFakeFiles& f) {
       EXPECT_EQ(d.ButtonCount, 0);
       EXPECT_TRUE(f.asked.empty());
     }},
    {"CountdownOfZero", [](TLines& l, TFakeFiles&) { Set(l, kSeconds, "0"); }, true,
     [](const TExitScreenDescription& d, const TFakeFiles&) { EXPECT_EQ(d.CountdownTenths, 0); }},
    {"HugeCountdownSaturates", [](TLines& l, TFakeFiles&) { Set(l, kSeconds, "2147483647"); },
     true,
     [](const TExitScreenDescription& d, const TFakeFiles&) {
       EXPECT_EQ(d.CountdownTenths, INT32_MAX);
     }},
    {"ColourKeepsTheLowByteOfEachValue",
     [](TLines& l, TFakeFiles&) { Set(l, kColour, "1 258 -1"); }, true,
     [](const TExitScreenDescription& d, const TFakeFiles&) {
       EXPECT_EQ(d.CountdownColor, 0x00FF0201u);
     }},
    {"OnlyTheExitButton",
     [](TLines& l, TFakeFiles&) {
       l.erase(l.begin() + kHover1, l.begin() + kExitHover);
       l[kCount] = "1";
     },
     true,
     [](const TExitScreenDescription& d, const TFakeFiles&) {
       ASSERT_EQ(d.Buttons.size(), 1u);
       EXPECT_TRUE(d.Buttons[0].IsExit);
       EXPECT_EQ(d.Buttons[0].Target, "exit");
       EXPECT_EQ(d.Buttons[0].DisabledImage, "wdata\\exit_d.bmp");
       EXPECT_EQ(d.FontSize, 24);
     }},
    {"NoButtons", [](TLines& l, TFakeFiles&) { l[kCount] = "0"; }, false,
     [](const TExitScreenDescription& d, const TFakeFiles& f) {
       EXPECT_TRUE(d.Buttons.empty());
       EXPECT_TRUE(f.asked.empty());  // nothing after the count is read
       EXPECT_EQ(d.Background, "");
     }},
    {"NegativeButtonCount", [](TLines& l, TFakeFiles&) { l[kCount] = "-3"; }, false, nullptr},
    {"ButtonCountLargerThanTheFile", [](TLines& l, TFakeFiles&) { l[kCount] = "2000000000"; },
     false, nullptr},
    {"MissingBackground",
     [](TLines&, TFakeFiles& f) { f.Remove("wdata\\bg.jpg"); }, false,
     [](const TExitScreenDescription& d, const TFakeFiles& f) {
       EXPECT_EQ(f.asked.size(), 1u);
       EXPECT_TRUE(d.Buttons.empty());
       EXPECT_EQ(d.CountdownTenths, 0);
     }},
    {"MissingTarget", [](TLines&, TFakeFiles& f) { f.Remove("wdata\\games.url"); }, false,
     [](const TExitScreenDescription& d, const TFakeFiles& f) {
       EXPECT_EQ(f.asked.back(), "wdata\\games.url");
       EXPECT_EQ(d.Buttons.size(), 1u);
       EXPECT_FALSE(d.FontSizeGiven);
       EXPECT_EQ(d.FontSize, 0);
     }},
    {"MissingDisabledImage", [](TLines&, TFakeFiles& f) { f.Remove("wdata\\exit_d.bmp"); },
     false,
     [](const TExitScreenDescription& d, const TFakeFiles&) {
       EXPECT_EQ(d.CountdownX, 0);
       EXPECT_EQ(d.FontSize, 15);  // no size was read; the exit button's height gives it
     }},
    {"EmptyHoverImage", [](TLines& l, TFakeFiles&) { Set(l, kExitHoverImage, ""); }, false,
     [](const TExitScreenDescription&, const TFakeFiles& f) {
       EXPECT_EQ(f.asked.size(), 5u);  // the empty path is not even looked up
     }},
    {"ExitButtonHasNoTargetLine",
     [](TLines& l, TFakeFiles&) { l.insert(l.begin() + kCentre, "wdata\\games.url"); }, false,
     nullptr},
};

INSTANTIATE_TEST_SUITE_P(ExitScreenDescription, DescriptionCase, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<TCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(ExitScreenDescription, CrLfLinesReadTheSame) {
  TFakeFiles files;
  const TExitScreenDescription d =
      ReadExitScreenDescription(Join(TwoButtons(), "\r\n"), files.Fn());
  EXPECT_TRUE(d.ScreenValid);
  EXPECT_EQ(d.Background, "wdata\\bg.jpg");
  EXPECT_EQ(d.FontSize, 24);

  // The last line needs no line end.
  std::string text = Join(TwoButtons(), "\r\n");
  text.resize(text.size() - 2);
  EXPECT_TRUE(ReadExitScreenDescription(text, files.Fn()).ScreenValid);
}

TEST(ExitScreenDescription, ButtonAreaIncludesItsEdges) {
  const TExitRect r{10, 20, 100, 50};
  EXPECT_TRUE(r.Contains(10, 20));
  EXPECT_TRUE(r.Contains(110, 70));
  EXPECT_FALSE(r.Contains(9, 20));
  EXPECT_FALSE(r.Contains(110, 71));
  EXPECT_TRUE((TExitRect{INT32_MAX - 1, 0, 10, 10}).Contains(INT32_MAX, 5));
}

TEST(ExitScreenDescription, LoadsTheRealFile) {
  std::string pattern = (fs::temp_directory_path() / "tk_exitdesc_XXXXXX").string();
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  const fs::path dir = pattern;
  const std::string config = (dir / "config.ini").string();
  EXPECT_FALSE(LoadExitScreenDescription(config).ScreenValid);  // no file

  TLines lines = TwoButtons();
  for (size_t i : {kBackground, kImage1, kHoverImage1, kTarget1, kExitImage, kExitHoverImage,
                   kExitDisabledImage}) {
    const fs::path file = dir / fs::path(lines[i].substr(6)).filename();
    std::ofstream(file) << "x";
    lines[i] = file.string();
  }
  std::ofstream(config, std::ios::binary) << Join(lines, "\r\n");
  EXPECT_TRUE(LoadExitScreenDescription(config).ScreenValid);

  fs::remove(dir / "exit_h.bmp");
  EXPECT_FALSE(LoadExitScreenDescription(config).ScreenValid);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace tk
