// Fitting the 800 x 600 frame into a window of any size: where it lands (letterboxed,
// centred), how window points map back onto it, and a software scaler for windows
// presented without a GPU.
#pragma once

#include <cstdint>
#include <vector>

namespace tk::platform {

// The largest rectangle of the frame's aspect that fits the window, centred; the rest of
// the window stays black.
struct Letterbox {
  int X = 0, Y = 0, W = 0, H = 0;
  double Scale = 1;  // window pixels per frame pixel
};
Letterbox FitLetterbox(int windowW, int windowH, int frameW, int frameH);

// A window point in frame pixels. Points on the bars fall outside 0..frame size, as the
// renderer's own mapping gives them.
void WindowToFrame(const Letterbox& box, int x, int y, int& fx, int& fy);

// Levels of the processor's vector instructions the scaler may use. Every level gives the
// same pixels; only the speed differs.
enum class ScalerVector { None, Sse2, Avx2 };
// The best level this processor has.
ScalerVector BestScalerVector();

// Scales a frame of 0x00RRGGBB pixels into a destination rectangle. Every destination
// pixel takes the source pixels it covers, weighted by how much of it each covers: at a
// whole ratio that is plain pixel repetition, and otherwise only the destination pixels
// that straddle two source pixels are blends. The picture stays as sharp as
// nearest-neighbour without its uneven pixel widths. Shrinking samples between the two
// nearest source pixels. The tables are kept between calls of the same sizes.
class FrameScaler {
 public:
  void Scale(const uint32_t* src, int srcW, int srcH, uint32_t* dst, int dstPitchPixels,
             int dstW, int dstH);
  // Only destination rows [dstY0, dstY1) of the same scaling; the others are left alone.
  void Scale(const uint32_t* src, int srcW, int srcH, uint32_t* dst, int dstPitchPixels,
             int dstW, int dstH, int dstY0, int dstY1);
  // The destination rows [y0, y1) that take any of source rows [first, end): after a frame
  // changed only there, scaling those rows again gives the whole new picture. y0 == y1 when
  // no destination row shows them.
  void RowsShowing(int srcH, int dstH, int first, int end, int& y0, int& y1);

  // One axis: destination pixel i is Index * Weight/256 + (Index + 1) * (256 - Weight)/256.
  struct Tap {
    int Index = 0;
    uint32_t Weight = 256;
  };
  static std::vector<Tap> Taps(int srcSize, int dstSize);

  // The most the scaler may use, capped at the processor's best; tests and benchmarks lower
  // it to compare the paths.
  ScalerVector Vector = ScalerVector::Avx2;

 private:
  void ScaleRow(const uint32_t* src, uint32_t* out) const;
  const uint32_t* ScaledRow(const uint32_t* src, int srcW, int row);
  void SetSizes(int srcW, int srcH, int dstW, int dstH);

  int srcW_ = -1, srcH_ = -1, dstW_ = -1, dstH_ = -1;
  std::vector<Tap> cols_, rows_;
  bool colsIdentity_ = false;
  // cols_ for the vector paths: each destination pixel's two source pixels (the second
  // kept within the row) and its weights per channel, 16-bit lanes in the pixel's byte
  // order. The top byte's lanes weigh (256, 0) where the pixel is a plain copy and (0, 0)
  // where it is a blend, which keeps or clears it as MixPixels does.
  std::vector<int32_t> colA_, colB_;
  std::vector<uint16_t> colW_, colV_;
  std::vector<int32_t> colBase_, colRel_;  // the AVX2 path's windows, see SetSizes
  // The two most recent horizontally scaled source rows, by source row.
  std::vector<uint32_t> cache_[2];
  int cachedRow_[2] = {-1, -1};
  int nextSlot_ = 0;
  // The rows' table of the sizes RowsShowing was last asked about.
  std::vector<Tap> rowsOnly_;
  int rowsSrc_ = -1, rowsDst_ = -1;
};

// (a * w + b * (256 - w)) / 256 in each colour channel, rounded; w in 0..256.
inline uint32_t MixPixels(uint32_t a, uint32_t b, uint32_t w) {
  const uint32_t v = 256 - w;
  const uint32_t rb = (((a & 0xFF00FFu) * w + (b & 0xFF00FFu) * v + 0x800080u) >> 8) & 0xFF00FFu;
  const uint32_t g = (((a & 0x00FF00u) * w + (b & 0x00FF00u) * v + 0x008000u) >> 8) & 0x00FF00u;
  return rb | g;
}

}  // namespace tk::platform
