// The help pages with the game's real pictures and letters: every sample picture sits beside
// its caption, touching no line of text and no other sample. What counts is what a player
// sees: the pixels a picture's first pattern really draws, and each line's box as the
// letters measure it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "RealGame.h"
#include "media/Surface.h"
#include "menus/MenuState.h"
#include "platform/Cp1251.h"
#include "sprites/Sprites.h"

namespace tk::testing {
namespace {

constexpr int Touch = 2;  // closer than this counts as touching

struct TBox {
  int X0, Y0, X1, Y1;  // X1, Y1 exclusive
  bool Empty() const { return X0 >= X1 || Y0 >= Y1; }
};

struct TSample {
  std::string Image;
  int X, Y;
  std::vector<std::pair<int, int>> Opaque;  // screen pixels the picture covers
  TBox Bounds{800, 600, 0, 0};
};

struct TLine {
  std::string Text;  // UTF-8, for messages
  TBox Box;
};

// The pixels a sprite's picture draws at its place: the same drawing over two different
// backgrounds, and whatever stays the same is the picture's own.
TSample Drawn(const TImageSprite& s) {
  TSample out{std::string(s.Image->Name()), static_cast<int>(s.X), static_cast<int>(s.Y), {}};
  TSurface a(800, 600, 0x010203), b(800, 600, 0xFEFDFC);
  s.Image->DrawPattern(a, out.X, out.Y, 0);
  s.Image->DrawPattern(b, out.X, out.Y, 0);
  for (int y = 0; y < 600; ++y)
    for (int x = 0; x < 800; ++x)
      if (a.At(x, y) == b.At(x, y)) {
        out.Opaque.emplace_back(x, y);
        out.Bounds = {std::min(out.Bounds.X0, x), std::min(out.Bounds.Y0, y),
                      std::max(out.Bounds.X1, x + 1), std::max(out.Bounds.Y1, y + 1)};
      }
  return out;
}

bool Near(const std::pair<int, int>& p, const TBox& b) {
  return p.first >= b.X0 - Touch && p.first < b.X1 + Touch && p.second >= b.Y0 - Touch &&
         p.second < b.Y1 + Touch;
}

struct TPage {
  std::vector<TSample> Samples;
  std::vector<TLine> Lines;
};

// The page as built: its sample sprites (every image sprite but the frame the help screen
// shares with all pages) and its lines of text with their measured boxes.
TPage ShowPage(RealGame& g, uint8_t page) {
  static const std::vector<std::string> frame = {"Help_word", "Help_arrows", "Help_back_n",
                                                 "Orchardia_Word", "Pondlark_Word", "menu"};
  g.F().Module<menus::TMenuState>().HelpPage = page;
  g.F().SwitchScene(SceneHelp);
  TPage p;
  for (const auto& t : g.FrameTexts()) {
    platform::TextStyle style;
    style.PointSize = t.Size;
    auto& text = *g.plat.Get().Text;
    const TBox box{t.X, t.Y, t.X + text.Width(t.Text, style), t.Y + text.Height(t.Text, style)};
    p.Lines.push_back({Cp1251ToUtf8(t.Text), box});
  }
  for (int i = 0; i < g.F().Engine().ChildCount(); ++i) {
    auto* s = dynamic_cast<TImageSprite*>(g.F().Engine().Children(i));
    if (!s || !s->Image || !s->Visible) continue;
    if (std::find(frame.begin(), frame.end(), s->Image->Name()) != frame.end()) continue;
    p.Samples.push_back(Drawn(*s));
  }
  return p;
}

TEST(HelpSamples, SitBesideTheirCaptionsTouchingNoTextAndNoOtherSample) {
  const struct {
    uint8_t Page;
    size_t Samples;
  } pages[] = {{3, 6}, {4, 5}, {5, 1}};
  RealGame g;
  g.Run(4500);  // past the logo
  for (const auto& pg : pages) {
    SCOPED_TRACE("help page " + std::to_string(pg.Page));
    const TPage p = ShowPage(g, pg.Page);
    ASSERT_EQ(p.Samples.size(), pg.Samples);
    for (const TSample& s : p.Samples) {
      SCOPED_TRACE(s.Image);
      ASSERT_FALSE(s.Opaque.empty()) << "draws nothing";
      for (const TLine& l : p.Lines) {
        const auto hit = std::find_if(s.Opaque.begin(), s.Opaque.end(),
                                      [&](const auto& px) { return Near(px, l.Box); });
        if (hit != s.Opaque.end())
          ADD_FAILURE() << "touches \"" << l.Text << "\" (" << l.Box.X0 << "," << l.Box.Y0 << ")-("
            << l.Box.X1 << "," << l.Box.Y1 << ") at (" << hit->first << "," << hit->second << ")";
      }
      for (const TSample& o : p.Samples) {
        if (&o == &s) continue;
        // Only pixels near the other's bounds can touch it; those are compared pixel by pixel.
        bool touches = false;
        for (const auto& a : s.Opaque) {
          if (!Near(a, o.Bounds)) continue;
          for (const auto& b : o.Opaque)
            if (std::abs(a.first - b.first) <= Touch && std::abs(a.second - b.second) <= Touch) {
              touches = true;
              break;
            }
          if (touches) break;
        }
        EXPECT_FALSE(touches) << "touches the sample " << o.Image;
      }
      // Beside a caption: some line starts to the right of the picture, level with it.
      const bool beside = std::any_of(p.Lines.begin(), p.Lines.end(), [&](const TLine& l) {
        return l.Box.X0 >= s.Bounds.X1 + Touch && l.Box.Y0 < s.Bounds.Y1 && s.Bounds.Y0 < l.Box.Y1;
      });
      EXPECT_TRUE(beside) << "no caption to the right of (" << s.Bounds.X0 << "," << s.Bounds.Y0
                          << ")-(" << s.Bounds.X1 << "," << s.Bounds.Y1 << ")";
    }
  }
}

}  // namespace
}  // namespace tk::testing
