#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "media/Draw.h"
#include "media/Surface.h"

using namespace tk;

namespace {

constexpr uint32_t kKey = 0xFF00FF;
constexpr uint32_t kBack = 0x010101;

// A w x h surface numbered 1, 2, 3 ... row by row, with the key colour on every pixel
// where (x + 2y) % 3 == 0 when keyed is set.
TSurface Numbered(int w, int h, bool keyed = false) {
  TSurface s(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      s.At(x, y) = keyed && (x + 2 * y) % 3 == 0 ? kKey : static_cast<uint32_t>(1 + x + y * w);
  return s;
}

TPatternRef Ref(const TSurface& s, bool transparent, const TPatternRuns* runs = nullptr) {
  TPatternRef p;
  p.Surface = &s;
  p.Rect = s.ClientRect();
  p.Transparent = transparent;
  p.KeyPixel = kKey;
  p.Runs = runs;
  return p;
}

// What an unscaled draw at (x, y) must leave: pattern pixels where they fall inside,
// the rest untouched.
TSurface Placed(const TSurface& pat, int destW, int destH, int x, int y, bool keyed) {
  TSurface d(destW, destH, kBack);
  for (int v = 0; v < pat.Height(); ++v)
    for (int u = 0; u < pat.Width(); ++u) {
      const int X = x + u, Y = y + v;
      if (X < 0 || Y < 0 || X >= destW || Y >= destH) continue;
      if (keyed && pat.At(u, v) == kKey) continue;
      d.At(X, Y) = pat.At(u, v);
    }
  return d;
}

std::vector<uint32_t> Pixels(const TSurface& s) {
  return std::vector<uint32_t>(s.Pixels(), s.Pixels() + s.Width() * s.Height());
}

// Positions hanging off each edge and corner of a 6 x 5 destination, plus fully outside.
const std::vector<std::pair<int, int>> kPlaces = {{-2, 1}, {4, 1},    {1, -2}, {1, 3}, {-3, -3},
                                                  {4, 3},  {0, 0},    {6, 0},  {0, 5}, {-4, 0},
                                                  {0, -4}, {-100, 2}, {2, 100}};

}  // namespace

TEST(Surface, FillClipsAndCopyResizes) {
  TSurface s(4, 3, 0);
  s.FillRect({-5, 1, 2, 10}, 7);
  EXPECT_EQ(Pixels(s), (std::vector<uint32_t>{0, 0, 0, 0, 7, 7, 0, 0, 7, 7, 0, 0}));
  s.FillRect({3, 0, 1, 3}, 9);  // empty: nothing
  EXPECT_EQ(s.At(2, 0), 0u);
  s.Fill(5);
  EXPECT_EQ(Pixels(s), std::vector<uint32_t>(12, 5));
  TSurface t(1, 1);
  t.CopyFrom(s);
  EXPECT_EQ(t.Width(), 4);
  EXPECT_EQ(Pixels(t), Pixels(s));
}

TEST(OpaqueRuns, SpanTheNonKeyPixelsOfEachRow) {
  TSurface s(5, 2, kKey);
  s.At(1, 0) = s.At(2, 0) = s.At(4, 0) = 1;
  const TPatternRuns r = BuildOpaqueRuns(s, {0, 0, 5, 2}, kKey);
  ASSERT_EQ(r.RowStart, (std::vector<uint32_t>{0, 2, 2}));
  EXPECT_EQ(r.Runs[0].Start, 1);
  EXPECT_EQ(r.Runs[0].Length, 2);
  EXPECT_EQ(r.Runs[1].Start, 4);
  EXPECT_EQ(r.Runs[1].Length, 1);
}

TEST(BlitPattern, ClipsAtEveryEdgeWithoutWrapping) {
  const TSurface pat = Numbered(4, 4, true);
  const TPatternRuns runs = BuildOpaqueRuns(pat, pat.ClientRect(), kKey);
  for (auto [x, y] : kPlaces) {
    SCOPED_TRACE(std::to_string(x) + "," + std::to_string(y));
    for (int mode = 0; mode < 3; ++mode) {  // opaque, keyed by runs, keyed pixel by pixel
      const bool keyed = mode > 0;
      TSurface d(6, 5, kBack);
      BlitPattern(d, x, y, Ref(pat, keyed, mode == 1 ? &runs : nullptr));
      EXPECT_EQ(Pixels(d), Pixels(Placed(pat, 6, 5, x, y, keyed))) << "mode " << mode;
    }
  }
}

TEST(BlitPattern, SubRectangleOfALargerSurface) {
  const TSurface sheet = Numbered(8, 2);
  TPatternRef p = Ref(sheet, false);
  p.Rect = {4, 0, 8, 2};  // the second cell
  TSurface d(4, 2, kBack);
  BlitPattern(d, 0, 0, p);
  EXPECT_EQ(Pixels(d), (std::vector<uint32_t>{5, 6, 7, 8, 13, 14, 15, 16}));
}

TEST(BlitStretched, ScalesByNearestNeighbourAndClips) {
  const TSurface pat = Numbered(2, 2, false);
  for (auto [x, y] : kPlaces) {
    SCOPED_TRACE(std::to_string(x) + "," + std::to_string(y));
    TSurface d(6, 5, kBack);
    BlitStretched(d, {x, y, x + 4, y + 4}, Ref(pat, false));
    TSurface expected(6, 5, kBack);
    for (int Y = 0; Y < 5; ++Y)
      for (int X = 0; X < 6; ++X)
        if (X >= x && X < x + 4 && Y >= y && Y < y + 4)
          expected.At(X, Y) = pat.At((X - x) / 2, (Y - y) / 2);
    EXPECT_EQ(Pixels(d), Pixels(expected));
  }
  // Shrinking 3 -> 2 takes the pixels whose centres the destination centres fall on.
  const TSurface row = Numbered(3, 1);
  TSurface d(2, 1, kBack);
  BlitStretched(d, {0, 0, 2, 1}, Ref(row, false));
  EXPECT_EQ(Pixels(d), (std::vector<uint32_t>{1, 3}));
  // Empty or inverted rectangles draw nothing; the key is honoured.
  TSurface e(4, 4, kBack);
  BlitStretched(e, {2, 2, 2, 4}, Ref(row, false));
  BlitStretched(e, {3, 3, 1, 1}, Ref(row, false));
  EXPECT_EQ(Pixels(e), std::vector<uint32_t>(16, kBack));
  const TSurface keyed = Numbered(3, 1, true);  // first pixel is the key
  BlitStretched(e, {0, 0, 4, 4}, Ref(keyed, true));
  EXPECT_EQ(e.At(0, 0), kBack);
  EXPECT_EQ(e.At(3, 3), 3u);
}

TEST(BlitAdd, AddsWeightedAndSaturates) {
  TSurface src(3, 1);
  src.At(0, 0) = 0x204080;
  src.At(1, 0) = 0x202020;
  src.At(2, 0) = kKey;
  struct Case {
    int Alpha;
    std::vector<uint32_t> Expected;
  };
  const std::vector<Case> cases = {
      {255, {0x3060B0, 0xFFFFFF, 0x102030}}, {300, {0x3060B0, 0xFFFFFF, 0x102030}},
      {128, {0x204070, 0xFFFFFF, 0x102030}}, {0, {0x102030, 0xF0F0F0, 0x102030}},
      {-5, {0x102030, 0xF0F0F0, 0x102030}},
  };
  for (const Case& c : cases) {
    TSurface d(3, 1, 0x102030);
    d.At(1, 0) = 0xF0F0F0;
    BlitAdd(d, {0, 0, 3, 1}, Ref(src, true), c.Alpha);
    EXPECT_EQ(Pixels(d), c.Expected) << c.Alpha;
  }
  // Clipped like the other draws.
  TSurface d(2, 1, 0);
  BlitAdd(d, {-2, 0, 1, 1}, Ref(src, false), 255);
  EXPECT_EQ(Pixels(d), (std::vector<uint32_t>{kKey, 0}));
}

TEST(BlitRotated, QuarterTurnsArePixelExact) {
  // A 3 x 2 pattern turned about its middle, placed at (10, 10).
  const TSurface pat = Numbered(3, 2);  // 1 2 3 / 4 5 6
  struct Case {
    int Angle;
    std::vector<std::tuple<int, int, uint32_t>> Pixels;  // everything else untouched
  };
  const std::vector<Case> cases = {
      {0, {{8, 9, 1}, {9, 9, 2}, {10, 9, 3}, {8, 10, 4}, {9, 10, 5}, {10, 10, 6}}},
      {256, {{8, 9, 1}, {9, 9, 2}, {10, 9, 3}, {8, 10, 4}, {9, 10, 5}, {10, 10, 6}}},
      // Clockwise: the top row becomes the right column.
      {64, {{10, 8, 1}, {10, 9, 2}, {10, 10, 3}, {9, 8, 4}, {9, 9, 5}, {9, 10, 6}}},
      {128, {{11, 10, 1}, {10, 10, 2}, {9, 10, 3}, {11, 9, 4}, {10, 9, 5}, {9, 9, 6}}},
      {-64, {{9, 11, 1}, {9, 10, 2}, {9, 9, 3}, {10, 11, 4}, {10, 10, 5}, {10, 9, 6}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Angle);
    TSurface d(20, 20, kBack);
    BlitRotated(d, 10, 10, 3, 2, Ref(pat, false), 0.5, 0.5, c.Angle);
    TSurface expected(20, 20, kBack);
    for (auto [x, y, v] : c.Pixels) expected.At(x, y) = v;
    EXPECT_EQ(Pixels(d), Pixels(expected));
  }
}

TEST(BlitRotated, ScalesClipsAndHonoursTheKey) {
  // Unturned with the pivot at the top-left corner it is the plain draw, also off the edges.
  const TSurface pat = Numbered(4, 4, true);
  for (auto [x, y] : kPlaces) {
    SCOPED_TRACE(std::to_string(x) + "," + std::to_string(y));
    TSurface d(6, 5, kBack);
    BlitRotated(d, x, y, 4, 4, Ref(pat, true), 0, 0, 0);
    EXPECT_EQ(Pixels(d), Pixels(Placed(pat, 6, 5, x, y, true)));
  }
  // Scaled to twice the size before turning: a half turn of a 1 x 2 pattern scaled to 2 x 4.
  const TSurface col = Numbered(1, 2);
  TSurface d(4, 4, kBack);
  BlitRotated(d, 2, 2, 2, 4, Ref(col, false), 0.5, 0.5, 128);
  EXPECT_EQ(Pixels(d), (std::vector<uint32_t>{kBack, 2, 2, kBack,  //
                                              kBack, 2, 2, kBack,  //
                                              kBack, 1, 1, kBack,  //
                                              kBack, 1, 1, kBack}));
  // Zero sizes draw nothing.
  TSurface e(4, 4, kBack);
  BlitRotated(e, 2, 2, 0, 4, Ref(col, false), 0.5, 0.5, 10);
  BlitRotated(e, 2, 2, 4, 0, Ref(col, false), 0.5, 0.5, 10);
  EXPECT_EQ(Pixels(e), std::vector<uint32_t>(16, kBack));
}

TEST(BlitRotated, AnyAngleStaysOnTheTurnedRectangle) {
  // A solid 20 x 10 pattern turned about its middle: exactly the pixels whose centres lie
  // inside the turned rectangle are drawn (those within a hair of its edge may go either way).
  const TSurface pat(20, 10, 0x123456);
  for (int angle : {32, 17, 200}) {
    SCOPED_TRACE(angle);
    TSurface d(60, 60, kBack);
    BlitRotated(d, 30, 30, 20, 10, Ref(pat, false), 0.5, 0.5, angle);
    const double t = angle * 2 * M_PI / 256, c = std::cos(t), s = std::sin(t);
    for (int y = 0; y < 60; ++y)
      for (int x = 0; x < 60; ++x) {
        const double dx = x + 0.5 - 30, dy = y + 0.5 - 30;
        const double along = std::abs(c * dx + s * dy) - 10,
                     across = std::abs(-s * dx + c * dy) - 5;
        if (along < -1e-6 && across < -1e-6) {
          EXPECT_NE(d.At(x, y), kBack) << x << "," << y;
        } else if (along > 1e-6 || across > 1e-6) {
          EXPECT_EQ(d.At(x, y), kBack) << x << "," << y;
        }
      }
  }

  // Additive turning adds and leaves keyed pixels alone.
  TSurface src(2, 1);
  src.At(0, 0) = 0x010101;
  src.At(1, 0) = kKey;
  TSurface a(4, 4, 0x101010);
  BlitRotated(a, 2, 2, 2, 1, Ref(src, true), 0.5, 0.5, 64, true, 255);
  int added = 0, keyed = 0;
  for (uint32_t px : Pixels(a)) added += px == 0x111111, keyed += px == kKey;
  EXPECT_EQ(added, 1);
  EXPECT_EQ(keyed, 0);
}

TEST(DrawVectorLevels, VectorPathsDrawWhatThePlainOnesDraw) {
  // A 45 x 23 pattern whose opaque runs have every length from 1 to beyond two vectors, so
  // the vector copies meet their short, overlapping and unaligned cases.
  TSurface pat(45, 23);
  for (int y = 0; y < 23; ++y)
    for (int x = 0; x < 45; ++x)
      pat.At(x, y) = (x * x + 7 * y) % (y + 3) == 0 ? kKey : static_cast<uint32_t>(1 + x + 64 * y);
  const TPatternRuns runs = BuildOpaqueRuns(pat, pat.ClientRect(), kKey);
  const std::vector<std::pair<int, int>> places = {{5, 4}, {-17, 6}, {40, 3}, {7, -9}, {2, 30}};
  const std::vector<int> angles = {0, 3, 17, 32, 64, 100, 128, 150, 192, 211, 250};

  // Everything one level draws, on one 80 x 50 surface per case.
  auto drawAll = [&](TDrawVector level) {
    auto ref = [&](bool keyed, const TPatternRuns* r) {
      TPatternRef p = Ref(pat, keyed, r);
      p.Vector = level;
      return p;
    };
    std::vector<std::vector<uint32_t>> out;
    for (auto [x, y] : places)
      for (int mode = 0; mode < 3; ++mode) {  // opaque, keyed by runs, keyed pixel by pixel
        TSurface d(80, 50, kBack);
        BlitPattern(d, x, y, ref(mode > 0, mode == 1 ? &runs : nullptr));
        out.push_back(Pixels(d));
      }
    for (int angle : angles)
      for (bool keyed : {false, true})
        for (auto [w, h] : {std::pair{45, 23}, std::pair{60, 30}}) {
          TSurface d(80, 50, kBack);
          BlitRotated(d, 40, 25, w, h, ref(keyed, nullptr), 0.37, 0.61, angle);
          BlitRotated(d, 3, 47, w, h, ref(keyed, nullptr), 0.5, 0.5, angle);  // off two edges
          out.push_back(Pixels(d));
        }
    return out;
  };
  const auto plain = drawAll(TDrawVector::None);
  // The plain unturned copies are right to begin with.
  for (size_t i = 0; i < places.size(); ++i)
    for (int mode = 0; mode < 3; ++mode)
      EXPECT_EQ(plain[i * 3 + mode],
                Pixels(Placed(pat, 80, 50, places[i].first, places[i].second, mode > 0)));
  for (TDrawVector level : {TDrawVector::Sse2, TDrawVector::Avx2}) {
    if (level > BestDrawVector()) continue;  // not on this processor
    SCOPED_TRACE(static_cast<int>(level));
    const auto got = drawAll(level);
    for (size_t i = 0; i < plain.size(); ++i) EXPECT_EQ(got[i], plain[i]) << "case " << i;
  }
}
