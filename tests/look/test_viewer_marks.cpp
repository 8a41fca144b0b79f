// The replay viewer's marks ("Повтор", the pause sign, "Конец повтора — Esc" over the held
// last frame) are drawn on a copy of each finished frame on its way to the window: the
// game's own frame never holds them, and they cover nothing the player needs.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "RealGame.h"
#include "ViewerDisplay.h"
#include "game/FeedingState.h"
#include "media/Surface.h"
#include "platform/Cp1251.h"
#include "platform/text/TtfText.h"
#include "sprites/Sprites.h"
#include "support/RecordingText.h"

namespace tk::testing {
namespace {

constexpr int W = 800, H = 600;

struct TBox {
  int X0 = W, Y0 = H, X1 = 0, Y1 = 0;  // X1, Y1 exclusive; empty until something is added
  bool Empty() const { return X0 >= X1 || Y0 >= Y1; }
  void Add(int x, int y) {
    X0 = std::min(X0, x), Y0 = std::min(Y0, y);
    X1 = std::max(X1, x + 1), Y1 = std::max(Y1, y + 1);
  }
  bool Overlaps(const TBox& o) const {
    return !Empty() && !o.Empty() && X0 < o.X1 && o.X0 < X1 && Y0 < o.Y1 && o.Y0 < Y1;
  }
  bool Inside(const TBox& o) const {
    return Empty() || (X0 >= o.X0 && Y0 >= o.Y0 && X1 <= o.X1 && Y1 <= o.Y1);
  }
};

std::ostream& operator<<(std::ostream& os, const TBox& b) {
  return os << "(" << b.X0 << "," << b.Y0 << ")-(" << b.X1 << "," << b.Y1 << ")";
}

TBox Changed(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
  TBox box;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x)
      if (a[static_cast<size_t>(y) * W + x] != b[static_cast<size_t>(y) * W + x]) box.Add(x, y);
  return box;
}

TBox PauseSign() {
  const TMarkRect r = PauseSignRect(W, H);
  return {r.X0, r.Y0, r.X1, r.Y1};
}

// The window behind the viewer: keeps every frame it is given.
class FrameLog : public platform::OffscreenDisplay {
 public:
  void Present(const uint32_t* p, int w, int h) override {
    ASSERT_EQ(w, W);
    ASSERT_EQ(h, H);
    Frames.emplace_back(p, p + static_cast<size_t>(w) * h);
  }
  std::vector<std::vector<uint32_t>> Frames;
};

// A picture with no two neighbouring pixels alike, so any drawing over it shows.
std::vector<uint32_t> GameFrame(uint32_t seed) {
  std::vector<uint32_t> f(static_cast<size_t>(W) * H);
  for (size_t i = 0; i < f.size(); ++i)
    f[i] = (static_cast<uint32_t>(i) * 2654435761u + seed) & 0xFFFFFF;
  return f;
}

std::set<std::string> Texts(const std::vector<TextCall>& log) {
  std::set<std::string> s;
  for (auto& t : log) s.insert(Cp1251ToUtf8(t.Text));
  return s;
}

// Where each mark lands: what it changes on a frame, drawn with the real letters.
struct TMarks {
  TBox Label, Pause, End;
};
TMarks MarkBoxes() {
  FrameLog window;
  auto text = platform::MakeTtfTextRenderer();
  ReplayDisplay viewer(window);
  viewer.SetText(text.get());
  const std::vector<uint32_t> frame = GameFrame(1);
  viewer.Present(frame.data(), W, H);
  viewer.SetMark(ViewerMark::Paused);
  viewer.SetMark(ViewerMark::Ended);
  EXPECT_EQ(window.Frames.size(), 3u);
  return {Changed(frame, window.Frames[0]), Changed(window.Frames[0], window.Frames[1]),
          Changed(frame, window.Frames[2])};
}

TEST(ViewerMarks, AreDrawnOverACopyOfTheLastFrame) {
  const TMarks at = MarkBoxes();
  const struct {
    ViewerMark Mark;
    std::set<std::string> Texts;  // drawn when the mark comes up
    TBox Changes;                 // where the shown frame differs from the game's
  } marks[] = {
      {ViewerMark::Playing, {}, at.Label},
      {ViewerMark::Paused, {"Повтор"}, at.Pause},
      {ViewerMark::Ended, {"Конец повтора — Esc"}, at.End},
  };
  // The marks sit in the corners: "Повтор" or the end bottom left, the pause sign top left.
  const TBox bottomLeft{0, H - 60, W / 2, H};
  EXPECT_FALSE(at.Label.Empty());
  EXPECT_TRUE(at.Label.Inside(bottomLeft)) << at.Label;
  EXPECT_TRUE(at.End.Inside(bottomLeft)) << at.End;
  EXPECT_GT(at.End.X1, at.Label.X1) << "the end's words are longer " << at.End;
  EXPECT_TRUE(at.Pause.Inside(PauseSign())) << at.Pause;
  EXPECT_FALSE(at.Pause.Empty());
  EXPECT_FALSE(at.Pause.Overlaps(at.Label));
  for (const auto& m : marks) {
    SCOPED_TRACE(static_cast<int>(m.Mark));
    FrameLog window;
    std::vector<TextCall> drawn;
    RecordingText text(platform::MakeTtfTextRenderer(), drawn);
    ReplayDisplay viewer(window);
    viewer.SetText(&text);
    const std::vector<uint32_t> first = GameFrame(1), last = GameFrame(2);
    viewer.Present(first.data(), W, H);
    viewer.Present(last.data(), W, H);
    drawn.clear();
    viewer.SetMark(m.Mark);
    viewer.SetMark(m.Mark);  // the same mark again shows nothing new
    // The game's frames are as the game left them.
    EXPECT_EQ(first, GameFrame(1));
    EXPECT_EQ(last, GameFrame(2));
    // A new mark shows the last frame again, marked; the frame before is gone.
    ASSERT_EQ(window.Frames.size(), m.Mark == ViewerMark::Playing ? 2u : 3u);
    EXPECT_EQ(Texts(drawn), m.Texts);
    const auto& shown = window.Frames.back();
    const TBox changed = Changed(last, shown);
    EXPECT_FALSE(changed.Empty());
    // Outside the marks the window shows the game's last frame pixel for pixel.
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        const TBox px{x, y, x + 1, y + 1};
        const bool inMark = px.Inside(at.Label) ||
                            (m.Mark == ViewerMark::Paused && px.Inside(at.Pause)) ||
                            (m.Mark == ViewerMark::Ended && px.Inside(at.End));
        const size_t i = static_cast<size_t>(y) * W + x;
        if (!inMark) {
          ASSERT_EQ(shown[i], last[i]) << "at (" << x << "," << y << ")";
        }
      }
    if (m.Mark == ViewerMark::Paused) {
      EXPECT_FALSE(Changed(window.Frames[1], shown).Empty());  // the sign came up
    }
  }
}

// Two games from the same seed and the same input, one shown through the viewer with its
// pause sign up: their own frames stay alike, and the window of the plain one shows exactly
// its frame.
TEST(ViewerMarks, NeverReachTheGamesFrame) {
  std::unique_ptr<platform::IDisplay> window;
  ReplayDisplay* viewer = nullptr;
  RealGame plain, watched([&](platform::Platform& p) {
    window = std::move(p.Display);
    auto v = std::make_unique<ReplayDisplay>(*window);
    v->SetText(p.Text.get());
    viewer = v.get();
    p.Display = std::move(v);
  });
  viewer->SetMark(ViewerMark::Paused);
  for (RealGame* g : {&plain, &watched}) {
    g->Run(4500);  // the logo, then the main menu
    g->Key(platform::vk::Enter);
    g->Run(3000);
  }
  ASSERT_EQ(watched.F().CurrentScene, ScenePond);
  const auto& game = watched.F().DXDraw.Surface();
  const std::vector<uint32_t> frame(game.Pixels(), game.Pixels() + W * H);
  EXPECT_EQ(frame, std::vector<uint32_t>(plain.F().DXDraw.Surface().Pixels(),
                                         plain.F().DXDraw.Surface().Pixels() + W * H));
  EXPECT_EQ(plain.plat.Record().Front, frame);
  // The window shows the frame with the label and the pause sign, nothing else.
  const TMarks at = MarkBoxes();
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const size_t i = static_cast<size_t>(y) * W + x;
      if (frame[i] == watched.plat.Record().Front[i]) continue;
      const TBox px{x, y, x + 1, y + 1};
      ASSERT_TRUE(px.Inside(at.Pause) || px.Inside(at.Label))
          << "changed at (" << x << "," << y << ")";
    }
  EXPECT_FALSE(Changed(frame, watched.plat.Record().Front).Empty());
  EXPECT_EQ(watched.F().Score, plain.F().Score);
  EXPECT_EQ(watched.F().Engine().ChildCount(), plain.F().Engine().ChildCount());
}

// The marks leave what the player reads alone: the heads-up display (the bottle and the
// panels) on the pond and the shore, the high-score table the replay most often ends on;
// the pause sign also the frog and the stork's legs.
TEST(ViewerMarks, CoverNothingThePlayerNeeds) {
  const TMarks at = MarkBoxes();
  RealGame g;
  g.Run(4500);
  g.Key(platform::vk::Enter);
  g.Run(3000);
  ASSERT_EQ(g.F().CurrentScene, ScenePond);
  // A sprite's place; for a picture of the table, only what it really draws there.
  auto bounds = [](TSprite* s) {
    auto* image = dynamic_cast<TImageSprite*>(s);
    if (!image || !image->Image || image->Image->Name() != "HighScore_Table_row") {
      const TRect r = s->GetBounds();
      return TBox{r.Left, r.Top, r.Right, r.Bottom};
    }
    TSurface a(W, H, 0x010203), b(W, H, 0xFEFDFC);
    image->Image->DrawPattern(a, static_cast<int>(image->X), static_cast<int>(image->Y), 0);
    image->Image->DrawPattern(b, static_cast<int>(image->X), static_cast<int>(image->Y), 0);
    TBox drawn;
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x)
        if (a.At(x, y) == b.At(x, y)) drawn.Add(x, y);
    return drawn;
  };
  auto check = [&](const char* scene, int needed) {
    int seen = 0;
    for (int i = 0; i < g.F().Engine().ChildCount(); ++i) {
      TSprite* s = g.F().Engine().Children(i);
      const std::string cls = s->ClassName();
      auto* image = dynamic_cast<TImageSprite*>(s);
      const bool row = image && image->Image && image->Image->Name() == "HighScore_Table_row";
      SCOPED_TRACE(std::string(scene) + " " + cls);
      if (cls == "TBottle" || cls == "TPanel" || row) {
        ++seen;
        EXPECT_FALSE(at.Pause.Overlaps(bounds(s))) << bounds(s);
        EXPECT_FALSE(at.Label.Overlaps(bounds(s))) << bounds(s);
        EXPECT_FALSE(at.End.Overlaps(bounds(s))) << bounds(s) << " under " << at.End;
      }
      if (cls == "TPlayerSprite" || cls == "TPlayerSpriteEat") {
        EXPECT_FALSE(at.Pause.Overlaps(bounds(s))) << bounds(s);
      }
    }
    EXPECT_EQ(seen, needed) << scene;
  };
  check("pond", 4);  // the bottle and three panels
  g.F().SwitchScene(SceneFeeding);
  g.Frames(2);
  ASSERT_EQ(g.F().CurrentScene, SceneFeeding);
  check("shore", 4);
  // The stork's legs come down the shore's outer edges, as wide as their picture.
  const int leg = g.F().FindImage("aist_leng").CellWidth();
  EXPECT_FALSE(at.Pause.Overlaps({0, 0, leg, H}));
  EXPECT_FALSE(at.Pause.Overlaps({W - leg, 0, W, H}));
  // The table: its stripes, and the names and scores written on them.
  g.F().SwitchScene(SceneHighScores);
  check("high scores", 11);
  const auto texts = g.FrameTexts();
  EXPECT_EQ(texts.size(), 20u);
  for (const auto& t : texts) {
    platform::TextStyle style;
    style.PointSize = t.Size;
    auto& m = *g.plat.Get().Text;
    const TBox box{t.X, t.Y, t.X + m.Width(t.Text, style), t.Y + m.Height(t.Text, style)};
    EXPECT_FALSE(at.End.Overlaps(box)) << Cp1251ToUtf8(t.Text) << " " << box;
    EXPECT_FALSE(at.Pause.Overlaps(box)) << Cp1251ToUtf8(t.Text) << " " << box;
  }
}

}  // namespace
}  // namespace tk::testing
