// The drawing operations of the image library on software surfaces. All clip at every
// edge of the destination and honour the colour key when the pattern is transparent.
#pragma once

#include <cstdint>
#include <vector>

#include "media/Surface.h"

namespace tk {

// Opaque spans of one pattern row, precomputed at upload so keyed blits copy runs.
struct TOpaqueRun {
  uint16_t Start, Length;
};
struct TPatternRuns {
  std::vector<uint32_t> RowStart;  // index into Runs for each row, plus one at the end
  std::vector<TOpaqueRun> Runs;
};

// Levels of the processor's vector instructions a draw may use. Every level draws the
// same pixels; only the speed differs.
enum class TDrawVector { None, Sse2, Avx2 };
// The best level this processor has.
TDrawVector BestDrawVector();

// One pattern: a rectangle of a source surface.
struct TPatternRef {
  const TSurface* Surface = nullptr;
  TRect Rect;
  bool Transparent = false;
  uint32_t KeyPixel = 0;  // the key in the surface's pixel format
  const TPatternRuns* Runs = nullptr;  // optional; relative to Rect
  // The most a draw of it may use, capped at the processor's best; tests and benchmarks
  // lower it to compare the paths.
  TDrawVector Vector = TDrawVector::Avx2;
};

TPatternRuns BuildOpaqueRuns(const TSurface& s, TRect r, uint32_t keyPixel);

// Unscaled copy with the pattern's top-left corner at (x, y).
void BlitPattern(TSurface& dest, int x, int y, const TPatternRef& p);
// Scaled into destRect (nearest neighbour).
void BlitStretched(TSurface& dest, const TRect& destRect, const TPatternRef& p);
// Scaled into destRect and added with saturation, weighted by alpha 0..255 (<= 0: nothing).
void BlitAdd(TSurface& dest, const TRect& destRect, const TPatternRef& p, int alpha);
// Scaled to width x height, turned by angle/256 of a turn clockwise about the point
// (centreX * width, centreY * height) of the scaled image, which lands on (x, y).
// With add, the pixels are added weighted by alpha as BlitAdd does.
void BlitRotated(TSurface& dest, int x, int y, int width, int height, const TPatternRef& p,
                 double centreX, double centreY, int angle, bool add = false, int alpha = 255);

}  // namespace tk
