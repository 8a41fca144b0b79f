// The letterbox and the software scaler of windows presented without a GPU.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <string>
#include <random>
#include <vector>

#include "platform/FrameScaler.h"

namespace tk::platform {
namespace {

TEST(Letterbox, FitsTheFrameCentredWithBarsOnTheLongSide) {
  struct Case {
    int Ww, Wh;
    Letterbox Want;
  } cases[] = {
      {800, 600, {0, 0, 800, 600, 1.0}},
      {1600, 1200, {0, 0, 1600, 1200, 2.0}},
      {1280, 720, {160, 0, 960, 720, 1.2}},
      {3840, 2160, {480, 0, 2880, 2160, 3.6}},
      {800, 700, {0, 50, 800, 600, 1.0}},
      {1000, 600, {100, 0, 800, 600, 1.0}},
      {640, 480, {0, 0, 640, 480, 0.8}},
  };
  for (const Case& c : cases) {
    const Letterbox b = FitLetterbox(c.Ww, c.Wh, 800, 600);
    SCOPED_TRACE(std::to_string(c.Ww) + "x" + std::to_string(c.Wh));
    EXPECT_EQ(b.X, c.Want.X);
    EXPECT_EQ(b.Y, c.Want.Y);
    EXPECT_EQ(b.W, c.Want.W);
    EXPECT_EQ(b.H, c.Want.H);
    EXPECT_DOUBLE_EQ(b.Scale, c.Want.Scale);
  }
  EXPECT_EQ(FitLetterbox(0, 600, 800, 600).W, 0);  // a window with no area shows nothing
}

TEST(Letterbox, WindowPointsMapOntoTheFrame) {
  const Letterbox b = FitLetterbox(1280, 720, 800, 600);
  int x = 0, y = 0;
  WindowToFrame(b, 160, 0, x, y);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
  WindowToFrame(b, 160 + 959, 719, x, y);
  EXPECT_EQ(x, 799);
  EXPECT_EQ(y, 599);
  WindowToFrame(b, 160 + 600, 360, x, y);
  EXPECT_EQ(x, 500);
  EXPECT_EQ(y, 300);
  WindowToFrame(b, 1279, 0, x, y);  // on the right bar: beyond the frame
  EXPECT_GT(x, 799);
}

uint32_t Channel(uint32_t p, int c) { return (p >> (8 * c)) & 0xFF; }

// Each destination pixel as the exact average of the source area it covers.
std::vector<double> AreaAverage(const std::vector<uint32_t>& src, int sw, int sh, int dw, int dh,
                                int c) {
  auto cover = [](int i, int s, int d, int k) {  // overlap of dest i with source k, in source units
    const double a = static_cast<double>(i) * s / d, b = static_cast<double>(i + 1) * s / d;
    return std::max(0.0, std::min(b, k + 1.0) - std::max(a, static_cast<double>(k)));
  };
  std::vector<double> out(static_cast<size_t>(dw) * dh);
  for (int y = 0; y < dh; ++y)
    for (int x = 0; x < dw; ++x) {
      double sum = 0, area = 0;
      for (int ky = 0; ky < sh; ++ky) {
        const double cy = cover(y, sh, dh, ky);
        if (cy == 0) continue;
        for (int kx = 0; kx < sw; ++kx) {
          const double w = cy * cover(x, sw, dw, kx);
          sum += w * Channel(src[ky * sw + kx], c);
          area += w;
        }
      }
      out[y * dw + x] = sum / area;
    }
  return out;
}

TEST(FrameScaler, EnlargesByAreaCoverageAndRepeatsPixelsAtWholeRatios) {
  std::mt19937 rng(5);
  struct Case {
    int Sw, Sh, Dw, Dh;
    bool Exact;  // a whole ratio: every destination pixel is one source pixel
  } cases[] = {{8, 6, 8, 6, true},   {8, 6, 16, 12, true}, {8, 6, 24, 6, true},
               {8, 6, 10, 7, false}, {8, 6, 29, 22, false}, {40, 30, 48, 36, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.Dw) + "x" + std::to_string(c.Dh));
    std::vector<uint32_t> src(static_cast<size_t>(c.Sw) * c.Sh);
    for (auto& p : src) p = rng() & 0xFFFFFF;
    const int pitch = c.Dw + 3;  // the rectangle sits inside a wider surface
    std::vector<uint32_t> dst(static_cast<size_t>(pitch) * c.Dh, 0xABCDEF);
    FrameScaler s;
    s.Scale(src.data(), c.Sw, c.Sh, dst.data(), pitch, c.Dw, c.Dh);
    for (int ch = 0; ch < 3; ++ch) {
      const auto want = AreaAverage(src, c.Sw, c.Sh, c.Dw, c.Dh, ch);
      for (int y = 0; y < c.Dh; ++y)
        for (int x = 0; x < c.Dw; ++x) {
          const double got = Channel(dst[y * pitch + x], ch);
          if (c.Exact)
            ASSERT_NEAR(got, want[y * c.Dw + x], 1e-6) << x << "," << y;
          else
            ASSERT_NEAR(got, want[y * c.Dw + x], 2.0) << x << "," << y;
        }
    }
    for (int y = 0; y < c.Dh; ++y)  // nothing written beside the rectangle
      for (int x = c.Dw; x < pitch; ++x) ASSERT_EQ(dst[y * pitch + x], 0xABCDEFu);
  }
}

TEST(FrameScaler, ShrinksBetweenNeighboursWithinTheSource) {
  for (auto [s, d] : {std::pair{800, 640}, std::pair{600, 7}, std::pair{3, 2}}) {
    const auto taps = FrameScaler::Taps(s, d);
    ASSERT_EQ(taps.size(), static_cast<size_t>(d));
    for (const auto& t : taps) {
      EXPECT_GE(t.Index, 0);
      EXPECT_LE(t.Weight, 256u);
      EXPECT_LT(t.Index + (t.Weight < 256 ? 1 : 0), s);
    }
  }
  // A flat picture stays flat at any size.
  std::vector<uint32_t> src(800 * 600, 0x336699), dst(640 * 480);
  FrameScaler sc;
  sc.Scale(src.data(), 800, 600, dst.data(), 640, 640, 480);
  for (uint32_t p : dst) ASSERT_EQ(p, 0x336699u);
}

}  // namespace
// A frame that changed only in a band of rows: rescaling the window rows RowsShowing names
// gives the same window as scaling the new frame whole, at growing, shrinking and whole
// ratios, and the rows outside the band stay as they were.
TEST(FrameScaler, OnlyTheRowsShowingAChangedBandAreScaledAgain) {
  struct Case {
    int Sw, Sh, Dw, Dh, First, End;
  } cases[] = {
      {80, 60, 288, 216, 10, 12},   // 3.6 x, blends between rows
      {80, 60, 160, 120, 0, 1},     // 2 x, the top row
      {80, 60, 160, 120, 59, 60},   // the bottom row
      {80, 60, 80, 60, 5, 50},      // the frame's own size
      {80, 60, 50, 37, 20, 21},     // shrinking
      {80, 60, 1000, 750, 30, 31},  // 12.5 x
  };
  std::mt19937 rng(5);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.Dw) + "x" + std::to_string(c.Dh) + " rows " +
                 std::to_string(c.First) + ".." + std::to_string(c.End));
    std::vector<uint32_t> before(static_cast<size_t>(c.Sw) * c.Sh), after;
    for (auto& p : before) p = rng() & 0xFFFFFF;
    after = before;
    for (int y = c.First; y < c.End; ++y)
      for (int x = 0; x < c.Sw; ++x) after[static_cast<size_t>(y) * c.Sw + x] = rng() & 0xFFFFFF;
    const int pitch = c.Dw + 3;
    std::vector<uint32_t> shown(static_cast<size_t>(pitch) * c.Dh, 0xABCDEF), whole = shown;
    FrameScaler a, b;
    a.Scale(before.data(), c.Sw, c.Sh, shown.data(), pitch, c.Dw, c.Dh);
    const std::vector<uint32_t> old = shown;
    int y0 = -1, y1 = -1;
    a.RowsShowing(c.Sh, c.Dh, c.First, c.End, y0, y1);
    ASSERT_LE(0, y0);
    ASSERT_LE(y0, y1);
    ASSERT_LE(y1, c.Dh);
    a.Scale(after.data(), c.Sw, c.Sh, shown.data(), pitch, c.Dw, c.Dh, y0, y1);
    b.Scale(after.data(), c.Sw, c.Sh, whole.data(), pitch, c.Dw, c.Dh);
    EXPECT_EQ(shown, whole);
    // Nothing outside [y0, y1) was written, and the band is no wider than the change needs.
    for (int y = 0; y < c.Dh; ++y) {
      const bool written = y >= y0 && y < y1;
      const bool differs = !std::equal(old.begin() + y * pitch, old.begin() + (y + 1) * pitch,
                                       whole.begin() + y * pitch);
      if (differs) {
        EXPECT_TRUE(written) << "row " << y;
      }
    }
    EXPECT_LE(y1 - y0, (c.End - c.First + 2) * c.Dh / c.Sh + 2);
  }
  int y0 = -1, y1 = -1;
  FrameScaler s;
  s.RowsShowing(60, 120, 5, 5, y0, y1);  // no rows changed
  EXPECT_EQ(y0, y1);
}

// The scaler against its definition, pixel by pixel: each window pixel the blend of the
// two source rows' blends its taps name, at every ratio the vector paths see (widths not a
// multiple of their lanes, pixels with a top byte set, which the blend clears).
TEST(FrameScaler, MatchesItsDefinitionPixelForPixel) {
  const int sizes[][2] = {{2880, 2160}, {1443, 1081}, {801, 601}, {37, 29}, {400, 300}};
  std::mt19937 rng(9);
  std::vector<uint32_t> src(800 * 600);
  for (auto& p : src) p = rng();
  for (const auto& d : sizes) {
    const int w = d[0], h = d[1];
    SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
    std::vector<uint32_t> out(static_cast<size_t>(w) * h);
    FrameScaler sc;
    sc.Scale(src.data(), 800, 600, out.data(), w, w, h);
    const auto cols = FrameScaler::Taps(800, w), rows = FrameScaler::Taps(600, h);
    auto along = [&](int row, int x) {
      const FrameScaler::Tap& c = cols[x];
      const uint32_t* r = src.data() + static_cast<size_t>(row) * 800;
      return c.Weight == 256 ? r[c.Index] : MixPixels(r[c.Index], r[c.Index + 1], c.Weight);
    };
    int wrong = 0;
    for (int y = 0; y < h && wrong < 5; ++y) {
      const FrameScaler::Tap& t = rows[y];
      for (int x = 0; x < w && wrong < 5; ++x) {
        const uint32_t want = t.Weight == 256
                                  ? along(t.Index, x)
                                  : MixPixels(along(t.Index, x), along(t.Index + 1, x), t.Weight);
        if (out[static_cast<size_t>(y) * w + x] != want) {
          ADD_FAILURE() << "pixel " << x << "," << y;
          ++wrong;
        }
      }
    }
  }
}

// Every vector level scales to the same pixels as the plain code, at whole and fractional
// ratios, enlarging and shrinking, widths that leave a tail after the last full vector,
// one-pixel sources and destinations, and the 4K window's letterbox. The source pixels have
// their top byte set, which a plain copy keeps and a blend clears.
TEST(FrameScaler, EveryVectorLevelGivesThePlainPixels) {
  struct Case {
    int Sw, Sh, Dw, Dh;
  } cases[] = {
      {800, 600, 1600, 1200},  // whole ratio
      {800, 600, 2400, 1800},  // whole ratio, odd factor
      {800, 600, 2880, 2160},  // the 3840 x 2160 window's letterbox
      {800, 600, 1443, 1081},  // fractional, odd sizes
      {800, 600, 801, 601},    // one pixel more
      {800, 600, 800, 1200},   // rows only: the columns are a copy
      {800, 600, 1200, 600},   // columns only
      {800, 600, 400, 300},    // shrinking by a whole ratio
      {800, 600, 37, 29},      // shrinking, odd
      {800, 600, 1, 1},        // one pixel
      {1, 1, 13, 7},           // from one pixel
      {13, 7, 1, 40},          // into one column
      {13, 7, 40, 1},          // into one row
      {13, 7, 67, 33},         // a small source, fractional
      {3, 2, 9, 5},            // narrower than one vector
  };
  std::mt19937 rng(28);
  std::string ran;
  for (const ScalerVector level : {ScalerVector::Sse2, ScalerVector::Avx2}) {
    if (level > BestScalerVector()) continue;  // not on this processor
    ran += level == ScalerVector::Avx2 ? " avx2" : " sse2";
    for (const Case& c : cases) {
      SCOPED_TRACE(std::to_string(c.Sw) + "x" + std::to_string(c.Sh) + " -> " +
                   std::to_string(c.Dw) + "x" + std::to_string(c.Dh) + " level " +
                   std::to_string(static_cast<int>(level)));
      std::vector<uint32_t> src(static_cast<size_t>(c.Sw) * c.Sh);
      for (auto& p : src) p = rng();
      const int pitch = c.Dw + 3;  // rows apart by more than their width
      std::vector<uint32_t> plain(static_cast<size_t>(pitch) * c.Dh, 0xDEADBEEF);
      std::vector<uint32_t> vec = plain;
      FrameScaler p, v;
      p.Vector = ScalerVector::None;
      v.Vector = level;
      p.Scale(src.data(), c.Sw, c.Sh, plain.data(), pitch, c.Dw, c.Dh);
      v.Scale(src.data(), c.Sw, c.Sh, vec.data(), pitch, c.Dw, c.Dh);
      size_t first = 0;
      while (first < plain.size() && plain[first] == vec[first]) ++first;
      EXPECT_EQ(first, plain.size()) << "first difference at row " << first / pitch
                                     << ", column " << first % pitch;
    }
  }
  // A processor without AVX2 runs the others; this one is told in the log.
  std::cout << "vector levels compared:" << ran << "\n";
}

}  // namespace tk::platform
