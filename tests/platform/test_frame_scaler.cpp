// The letterbox and the software scaler of windows presented without a GPU.
#include <gtest/gtest.h>

#include <cmath>
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
}  // namespace tk::platform
