#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "exitscreen/ExitFixture.h"

namespace tk::testing {
namespace {

using platform::Cursor;
using platform::MouseButton;
using Strings = std::vector<std::string>;

constexpr uint32_t Back = 0x203040;
uint32_t Colour(const char* name) { return PageColours().at(name); }

// The colour at a rectangle's top-left corner, where its state's picture starts.
uint32_t At(ExitGame& g, const TExitRect& r) { return g.Shown(r.X + 1, r.Y + 1); }

TEST(ExitScreen, LoadsThePageAtStartUp) {
  const TPage page = SamplePage();
  ExitGame g(&page);
  g.Start();
  auto& s = g.Screen();
  EXPECT_TRUE(s.ScreenValid);
  EXPECT_EQ(s.CountdownTenths, 50);
  EXPECT_EQ(g.F().Hooks.ExitCountdownTenths(), 50);
  ASSERT_EQ(s.Buttons.size(), 3u);
  EXPECT_TRUE(s.Buttons[0].Enabled);
  EXPECT_TRUE(s.Buttons[1].Enabled);
  EXPECT_FALSE(s.Buttons[2].Enabled);
  EXPECT_EQ(s.Buttons[2].Target, "exit");
  // The background is only checked at start-up: the page's first frame decodes it.
  EXPECT_TRUE(s.Background.Empty());
  EXPECT_EQ(g.F().CurrentScene, SceneLogo);  // start-up goes on as before
  g.Enter();
  g.Frames(1);
  EXPECT_EQ(s.Background.Width(), 800);
  EXPECT_EQ(s.Background.Height(), 600);
}

TEST(ExitScreen, EnteringStartsTheCountdownAndShowsThePointer) {
  const TPage page = SamplePage();
  ExitGame g(&page);
  g.Start();
  g.Enter();
  EXPECT_FALSE(g.F().Closed());
  EXPECT_TRUE(g.F().sharetimer.Enabled());
  EXPECT_EQ(g.F().Cursor(), Cursor::Arrow);
  g.Run(1000);
  EXPECT_EQ(g.Screen().CountdownTenths, 40);
  g.Run(5000);
  EXPECT_EQ(g.Screen().CountdownTenths, 0);  // stops at 0
  EXPECT_FALSE(g.F().Closed());              // the page waits for the player
}

TEST(ExitScreen, DrawsEachButtonInItsState) {
  const TPage page = SamplePage();
  ExitGame g(&page);
  g.Start();
  g.Enter();
  g.Move(10, 10);
  g.Frames(1);
  const auto& a = page.Buttons[0];
  const auto& exit = page.Buttons[2];
  EXPECT_EQ(g.Shown(10, 10), Back);
  EXPECT_EQ(g.Shown(799, 599), Back);  // unscaled at (0, 0), over the whole window
  EXPECT_EQ(At(g, a.Normal), Colour("wdata\\a_n.dib"));
  EXPECT_EQ(At(g, a.Hover), Back);
  // Disabled while counting: its own picture at its own place, even under the pointer.
  EXPECT_EQ(At(g, exit.Disabled), Colour("wdata\\exit_d.dib"));
  EXPECT_EQ(At(g, exit.Normal), Back);
  g.Move(exit.Normal.X + 10, exit.Normal.Y + 10);
  g.Frames(1);
  EXPECT_EQ(At(g, exit.Disabled), Colour("wdata\\exit_d.dib"));
  EXPECT_EQ(At(g, exit.Hover), Back);

  // The right and bottom edges of the area count.
  g.Move(a.Normal.X + a.Normal.Width, a.Normal.Y + a.Normal.Height);
  g.Frames(1);
  EXPECT_TRUE(g.Screen().Buttons[0].Hovered);
  EXPECT_EQ(At(g, a.Hover), Colour("wdata\\a_h.dib"));
  g.Move(a.Normal.X + a.Normal.Width + 1, a.Normal.Y);
  g.Frames(1);
  EXPECT_FALSE(g.Screen().Buttons[0].Hovered);
  EXPECT_EQ(At(g, a.Normal), Colour("wdata\\a_n.dib"));

  // Enabled once the count is out: hover and normal pictures as for the others.
  g.Run(5000);
  g.Move(exit.Normal.X, exit.Normal.Y);
  g.Frames(1);
  EXPECT_EQ(At(g, exit.Hover), Colour("wdata\\exit_h.dib"));
  g.Move(0, 0);
  g.Frames(1);
  EXPECT_EQ(At(g, exit.Normal), Colour("wdata\\exit_n.dib"));
  EXPECT_EQ(At(g, exit.Disabled), Colour("wdata\\exit_n.dib"));  // still inside the normal one
  EXPECT_EQ(g.Shown(exit.Disabled.X + 39, exit.Disabled.Y + 19), Back);
}

TEST(ExitScreen, ZeroSecondsShowNoNumberAndEnableTheExitOnTheFirstFrame) {
  TPage page = SamplePage();
  page.Seconds = 0;
  ExitGame g(&page);
  g.Start();
  g.Enter();
  g.Move(0, 0);
  g.texts.clear();
  g.Frames(1);
  EXPECT_TRUE(g.texts.empty());
  EXPECT_TRUE(g.Screen().Buttons[2].Enabled);
  g.Frames(1);
  EXPECT_EQ(At(g, page.Buttons[2].Normal), Colour("wdata\\exit_n.dib"));
  EXPECT_TRUE(g.texts.empty());
  // The exit button closes straight away, opening the play link on the way.
  g.Click(page.Buttons[2].Normal.X + 1, page.Buttons[2].Normal.Y + 1);
  EXPECT_TRUE(g.F().Closed());
  EXPECT_EQ(g.Opened(), Strings{"play.url"});
}

TEST(ExitScreen, TheExitButtonClosesOnlyOnceTheCountIsOut) {
  TPage page = SamplePage();
  page.Seconds = 3;
  ExitGame g(&page);
  g.Start();
  g.Enter();
  const TExitRect& r = page.Buttons[2].Normal;
  g.Run(2500);
  g.Click(r.X + 5, r.Y + 5);
  EXPECT_FALSE(g.F().Closed());
  g.F().OnCloseRequest();  // nor does the window's close button
  EXPECT_FALSE(g.F().Closed());
  EXPECT_EQ(g.Screen().CountdownTenths, 5);
  g.Run(500);
  EXPECT_EQ(g.Screen().CountdownTenths, 0);
  g.Click(r.X + 5, r.Y + 5);
  EXPECT_TRUE(g.F().Closed());
  EXPECT_TRUE(g.plat.Record().Destroyed);
  EXPECT_FALSE(g.F().DXTimer.Enabled());
  EXPECT_EQ(g.Opened(), Strings{"play.url"});
}

TEST(ExitScreen, OneClickActivatesEveryButtonUnderThePointerInFileOrder) {
  const TPage page = SamplePage();
  ExitGame g(&page);
  g.Start();
  g.Enter();
  g.Frames(1);
  g.Click(200, 130);  // inside both
  EXPECT_EQ(g.Opened(), (Strings{"wdata/a.url", "wdata/b.url"}));
  g.Opened().clear();
  g.Click(320, 160);  // b only
  g.Click(200, 130, MouseButton::Right);
  g.Click(400, 300);  // nothing there
  EXPECT_EQ(g.Opened(), Strings{"wdata/b.url"});
  EXPECT_FALSE(g.F().Closed());
  // A target that is gone opens nothing and is no error.
  std::filesystem::remove(g.dir.Path() / "wdata/a.url");
  g.Click(120, 110);
  EXPECT_EQ(g.Opened(), Strings{"wdata/b.url"});
  EXPECT_TRUE(g.plat.Record().Messages.empty());
}

TEST(ExitScreen, TheDigitsCountDownSixThenFiveToOne) {
  const TPage page = SamplePage();  // five seconds
  ExitGame g(&page);
  g.Start();
  g.Enter();
  // Frame by frame: what each frame shows and when.
  Strings shown;
  std::vector<uint64_t> firstSeen;
  for (uint64_t t = 0; t <= 5200; t += FramePeriodMs) {
    g.texts.clear();
    g.Frames(1);
    ASSERT_LE(g.texts.size(), 1u);
    if (g.texts.empty()) {
      shown.push_back("");
    } else {
      EXPECT_EQ(g.texts[0].Size, 18);
      EXPECT_EQ(g.texts[0].Color, 0xFFD23Fu);  // red 255, green 210, blue 63
      shown.push_back(g.texts[0].Text);
    }
    if (firstSeen.empty() || shown.back() != shown[shown.size() - 2]) firstSeen.push_back(t);
  }
  Strings distinct;
  for (size_t i = 0; i < shown.size(); ++i)
    if (i == 0 || shown[i] != shown[i - 1]) distinct.push_back(shown[i]);
  EXPECT_EQ(distinct, (Strings{"6", "5", "4", "3", "2", "1", ""}));
  // The 6 lasts one tenth, 5 to 2 one second each, and the 1 gives way at 0 after nine
  // tenths.
  ASSERT_EQ(firstSeen.size(), 7u);
  EXPECT_LE(firstSeen[1], 120u);
  for (size_t i = 2; i < 6; ++i) EXPECT_NEAR(double(firstSeen[i] - firstSeen[i - 1]), 1000, 30);
  EXPECT_NEAR(double(firstSeen[6] - firstSeen[5]), 900, 30);
  for (const std::string& f : g.text->fonts) EXPECT_EQ(f, "Verdana");
}

struct TCentring {
  int CentreX, CentreY, CharWidth, LineHeight, X, Y;
};

TEST(ExitScreen, TheNumberIsCentredRoundingHalvesToEven) {
  const TCentring cases[] = {
      {690, 485, 10, 20, 685, 475},  // whole halves
      {690, 485, 5, 11, 688, 480},   // 687.5 -> 688, 479.5 -> 480
      {690, 485, 7, 13, 686, 478},   // 686.5 -> 686, 478.5 -> 478
      {0, 0, 3, 3, -2, -2},          // -1.5 -> -2
  };
  for (const TCentring& c : cases) {
    TPage page = SamplePage();
    page.CentreX = c.CentreX;
    page.CentreY = c.CentreY;
    ExitGame g(&page);
    g.text->CharWidth = c.CharWidth;
    g.text->LineHeight = c.LineHeight;
    g.Start();
    g.Enter();
    g.texts.clear();
    g.Frames(1);
    ASSERT_EQ(g.texts.size(), 1u);
    EXPECT_EQ(g.texts[0].X, c.X) << c.CentreX << " " << c.CharWidth;
    EXPECT_EQ(g.texts[0].Y, c.Y) << c.CentreY << " " << c.LineHeight;
  }
}

TEST(ExitScreen, WithoutAFontSizeTheNumberTakesSixTenthsOfTheExitButton) {
  TPage page = SamplePage();
  page.FontFlag = "true";  // lower case: no size follows
  page.Buttons[2].Normal.Height = 25;
  ExitGame g(&page);
  g.Start();
  g.Enter();
  g.texts.clear();
  g.Frames(1);
  ASSERT_EQ(g.texts.size(), 1u);
  EXPECT_EQ(g.texts[0].Size, 15);
}

// Pages that are not shown: entering the exit screen closes the game at once.
struct TSkipped {
  const char* Name;
  bool WriteDescription;
  std::string Background;       // as the description names it
  std::string BackgroundBytes;  // written to it, when not empty
  std::string Said = "";        // part of the line on stderr, when not empty
};

void PrintTo(const TSkipped& c, std::ostream* os) { *os << c.Name; }

class SkippedPage : public ::testing::TestWithParam<TSkipped> {};

TEST_P(SkippedPage, StartsAndClosesAtOnceOnExit) {
  const TSkipped& c = GetParam();
  TPage page = SamplePage();
  page.Background = c.Background;
  ExitGame g(c.WriteDescription ? &page : nullptr);
  if (!c.BackgroundBytes.empty()) g.dir.Write(Slashed(c.Background), c.BackgroundBytes);
  ::testing::internal::CaptureStderr();
  g.Start();
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find(c.Said), std::string::npos) << err;
  EXPECT_FALSE(g.Screen().ScreenValid);
  EXPECT_TRUE(g.plat.Record().Messages.empty());  // start-up reports nothing and goes on
  g.Run(4100);
  EXPECT_EQ(g.F().CurrentScene, SceneMainMenu);
  g.Enter();
  EXPECT_TRUE(g.F().Closed());
  EXPECT_EQ(g.Screen().CountdownTenths, 0);
  EXPECT_EQ(g.Opened(), Strings{"play.url"});
}

INSTANTIATE_TEST_SUITE_P(
    ExitScreen, SkippedPage,
    ::testing::Values(
        TSkipped{"NoDescription", false, "wdata\\back.bmp", ""},
        TSkipped{"BackgroundMissing", true, "wdata\\nowhere.bmp", ""},
        TSkipped{"BackgroundOfUnknownKind", true, "wdata\\back.png", "\x89PNG\r\n\x1a\n"},
        // A picture that does not decode is named with the library's message.
        TSkipped{"BackgroundNotAPicture", true, "wdata\\broken.bmp", "BM this is no bitmap",
                 "exit screen skipped: wdata/broken.bmp: "},
        TSkipped{"BackgroundNotAJpeg", true, "wdata\\broken.jpg", "no JPEG either",
                 "exit screen skipped: wdata/broken.jpg: "}),
    [](const auto& info) { return std::string(info.param.Name); });

// A window that draws nothing (the replay check) only checks the background at start-up:
// the page is valid or not as it would be, and the picture is read when a frame is drawn.
TEST(ExitScreen, AWindowThatDrawsNothingOnlyChecksTheBackground) {
  for (const bool broken : {false, true}) {
    SCOPED_TRACE(broken ? "broken" : "sound");
    TPage page = SamplePage();
    if (broken) page.Background = "wdata\\broken.bmp";
    ExitGame g(&page);
    if (broken) g.dir.Write("wdata/broken.bmp", "BM this is no bitmap");
    ::testing::internal::CaptureStderr();
    g.Start(/*composing=*/false);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(g.Screen().ScreenValid, !broken);
    EXPECT_EQ(err.find("exit screen skipped: wdata/broken.bmp: ") != std::string::npos, broken)
        << err;
    EXPECT_TRUE(g.Screen().Background.Empty());
    if (broken) continue;
    g.F().SetComposing(true);
    g.Enter();
    g.Frames(1);
    EXPECT_EQ(g.Screen().Background.Width(), 800);
    EXPECT_EQ(g.Shown(10, 10), Back);
    EXPECT_EQ(g.Shown(799, 599), Back);
  }
}

TEST(ExitScreen, AJpegBackgroundLoads) {
  TPage page = SamplePage();
  page.Background = "wdata\\back.JPG";  // the extension in any case
  ExitGame g(&page);
  TPicture p;
  p.Width = 800;
  p.Height = 600;
  p.Pixels.assign(800 * 600, 0x3080C0);
  g.dir.Write("wdata/back.JPG", EncodeJpeg(p, 90));
  g.Start();
  ASSERT_TRUE(g.Screen().ScreenValid);
  g.Enter();
  g.Frames(1);
  const uint32_t px = g.Shown(400, 300);
  EXPECT_NEAR(int((px >> 16) & 0xFF), 0x30, 3);
  EXPECT_NEAR(int((px >> 8) & 0xFF), 0x80, 3);
  EXPECT_NEAR(int(px & 0xFF), 0xC0, 3);
}

TEST(ExitScreen, AButtonPictureGoneAfterStartUpIsReportedOnceAndTheRestDraws) {
  const TPage page = SamplePage();
  ExitGame g(&page);
  g.Start();
  std::filesystem::remove(g.dir.Path() / "wdata/a_n.dib");
  g.Enter();
  g.Frames(5);
  ASSERT_EQ(g.plat.Record().Messages.size(), 1u);
  EXPECT_NE(g.plat.Record().Messages[0].find("a_n.dib"), std::string::npos)
      << g.plat.Record().Messages[0];
  EXPECT_EQ(At(g, page.Buttons[0].Normal), Back);
  EXPECT_EQ(At(g, page.Buttons[1].Normal), Colour("wdata\\b_n.dib"));
  EXPECT_EQ(At(g, page.Buttons[2].Disabled), Colour("wdata\\exit_d.dib"));
  EXPECT_EQ(g.texts.size(), 5u);  // the countdown went on in every frame
}

TEST(ExitScreen, TheExitPromptLeadsHereFromTheMainMenu) {
  TPage page = SamplePage();
  page.Seconds = 1;
  ExitGame g(&page);
  g.Start();
  g.Run(4100);
  ASSERT_EQ(g.F().CurrentScene, SceneMainMenu);
  g.F().OnCloseRequest();  // the window's close button opens the prompt
  ASSERT_TRUE(g.F().GameMainExit);
  g.Click(330, 325);  // Yes
  EXPECT_EQ(g.F().CurrentScene, SceneExitScreen);
  EXPECT_FALSE(g.F().Closed());
  g.F().OnCloseRequest();  // refused while counting
  EXPECT_FALSE(g.F().Closed());
  g.Run(1000);
  g.F().OnCloseRequest();
  EXPECT_TRUE(g.F().Closed());
}

}  // namespace
}  // namespace tk::testing
