#include "media/Draw.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tk {

namespace {

// The pattern's rectangle within its surface; false when nothing of it is there.
bool SourceRect(const TPatternRef& p, TRect& r) {
  if (!p.Surface) return false;
  r.Left = std::max(p.Rect.Left, 0);
  r.Top = std::max(p.Rect.Top, 0);
  r.Right = std::min(p.Rect.Right, p.Surface->Width());
  r.Bottom = std::min(p.Rect.Bottom, p.Surface->Height());
  return r.Left < r.Right && r.Top < r.Bottom;
}

// Scales a 0..255 alpha to 0..256 so that 255 adds the source unchanged.
uint32_t AlphaFactor(int alpha) {
  const uint32_t a = static_cast<uint32_t>(std::min(alpha, 255));
  return a + (a >> 7);
}

// d + s * a / 256 per channel, saturating at 255.
inline uint32_t AddPixel(uint32_t d, uint32_t s, uint32_t a) {
  uint32_t rb = s & 0xFF00FF, g = s & 0x00FF00;
  if (a < 256) {
    rb = ((rb * a) >> 8) & 0xFF00FF;
    g = ((g * a) >> 8) & 0x00FF00;
  }
  uint32_t trb = (d & 0xFF00FF) + rb;
  uint32_t tg = (d & 0x00FF00) + g;
  const uint32_t orb = trb & 0x01000100, og = tg & 0x00010000;
  trb = (trb | (orb - (orb >> 8))) & 0xFF00FF;
  tg = (tg | (og - (og >> 8))) & 0x00FF00;
  return trb | tg;
}

// Column and row maps of a nearest-neighbour scale: destination index i of n covers
// source index ((2i + 1) * srcLen) / (2n).
inline int32_t ScaledIndex(int64_t i, int64_t srcLen, int64_t n) {
  return static_cast<int32_t>(((2 * i + 1) * srcLen) / (2 * n));
}

template <class Op>
void ScaleInto(TSurface& dest, const TRect& dr, const TPatternRef& p, Op op) {
  TRect sr;
  if (!SourceRect(p, sr)) return;
  const int64_t dw = int64_t{dr.Right} - dr.Left, dh = int64_t{dr.Bottom} - dr.Top;
  if (dw <= 0 || dh <= 0) return;
  const int64_t x0 = std::max<int64_t>(dr.Left, 0), x1 = std::min<int64_t>(dr.Right, dest.Width());
  const int64_t y0 = std::max<int64_t>(dr.Top, 0), y1 = std::min<int64_t>(dr.Bottom, dest.Height());
  if (x0 >= x1 || y0 >= y1) return;
  const int64_t sw = sr.Width(), sh = sr.Height();
  thread_local std::vector<int32_t> xmap;
  xmap.resize(static_cast<size_t>(x1 - x0));
  for (int64_t x = x0; x < x1; ++x) xmap[x - x0] = ScaledIndex(x - dr.Left, sw, dw);
  const int32_t* map = xmap.data();
  const int n = static_cast<int>(x1 - x0);
  const uint32_t key = p.KeyPixel;
  for (int64_t y = y0; y < y1; ++y) {
    const uint32_t* s = p.Surface->Row(sr.Top + ScaledIndex(y - dr.Top, sh, dh)) + sr.Left;
    uint32_t* d = dest.Row(static_cast<int>(y)) + x0;
    if (p.Transparent) {
      for (int i = 0; i < n; ++i) {
        const uint32_t px = s[map[i]];
        if (px != key) d[i] = op(d[i], px);
      }
    } else {
      for (int i = 0; i < n; ++i) d[i] = op(d[i], s[map[i]]);
    }
  }
}

struct CopyOp {
  uint32_t operator()(uint32_t, uint32_t s) const { return s; }
};
struct AddOp {
  uint32_t A;
  uint32_t operator()(uint32_t d, uint32_t s) const { return AddPixel(d, s, A); }
};

constexpr int kFrac = 32;
constexpr double kOne = 4294967296.0;  // 1 << kFrac

// Narrows [lo, hi] to the steps k with 0 <= q0 + k * step < limit (inv = 1 / step); false
// when none is left. The bounds are estimated in floating point and then settled exactly.
inline bool StepRange(int64_t q0, int64_t step, double inv, int64_t limit, int64_t& lo,
                      int64_t& hi) {
  if (step == 0) return q0 >= 0 && q0 < limit && lo <= hi;
  auto in = [&](int64_t k) {
    const int64_t q = q0 + k * step;
    return q >= 0 && q < limit;
  };
  double t0 = -static_cast<double>(q0) * inv, t1 = static_cast<double>(limit - q0) * inv;
  if (t0 > t1) std::swap(t0, t1);
  // Out-of-range estimates only narrow to the caller's range.
  t0 = std::clamp(t0, static_cast<double>(lo) - 2, static_cast<double>(hi) + 2);
  t1 = std::clamp(t1, static_cast<double>(lo) - 2, static_cast<double>(hi) + 2);
  // Truncation is within one of floor and ceil; the settling below fixes the rest.
  int64_t a = std::max(lo, static_cast<int64_t>(t0) - 1);
  int64_t b = std::min(hi, static_cast<int64_t>(t1) + 1);
  while (a <= b && !in(a)) ++a;
  while (b >= a && !in(b)) --b;
  lo = a;
  hi = b;
  return lo <= hi;
}

#if defined(__SSE2__)
// Four pixels of a rotated unscaled copy at a time, for steps k..last (returns where it
// stopped). Coordinates step in 16.16 from the exact 32.32 start; across one strip the
// difference stays far below a pixel, and the indices are clamped to the image, whose
// span [k, last] was found exactly. Quarter turns step by whole pixels, so stay exact.
template <bool kKeyed>
int32_t RotatedCopy4(uint32_t* d, int32_t k, int32_t last, int64_t qx, int64_t qy, int64_t cf,
                     int64_t sf, const uint32_t* base, __m128i limits, __m128i strideMul,
                     uint32_t key) {
  const int32_t x16 = static_cast<int32_t>(qx >> 16), y16 = static_cast<int32_t>(qy >> 16);
  const int32_t dx = static_cast<int32_t>(cf >> 16), dy = static_cast<int32_t>(-sf >> 16);
  __m128i vx = _mm_add_epi32(_mm_set1_epi32(x16), _mm_set_epi32(3 * dx, 2 * dx, dx, 0));
  __m128i vy = _mm_add_epi32(_mm_set1_epi32(y16), _mm_set_epi32(3 * dy, 2 * dy, dy, 0));
  const __m128i stepX = _mm_set1_epi32(4 * dx), stepY = _mm_set1_epi32(4 * dy);
  const __m128i lowHalf = _mm_set1_epi32(0xFFFF), highHalf = _mm_set1_epi32(~0xFFFF);
  const __m128i zero = _mm_setzero_si128(), keys = _mm_set1_epi32(static_cast<int32_t>(key));
  alignas(16) int32_t idx[4];
  for (; k + 3 <= last; k += 4) {
    // (v << 16) | u, each half clamped to the image, then v * stride + u.
    const __m128i uv =
        _mm_or_si128(_mm_and_si128(vy, highHalf), _mm_and_si128(_mm_srli_epi32(vx, 16), lowHalf));
    const __m128i clamped = _mm_min_epi16(_mm_max_epi16(uv, zero), limits);
    _mm_store_si128(reinterpret_cast<__m128i*>(idx), _mm_madd_epi16(clamped, strideMul));
    const __m128i pix =
        _mm_set_epi32(static_cast<int32_t>(base[idx[3]]), static_cast<int32_t>(base[idx[2]]),
                      static_cast<int32_t>(base[idx[1]]), static_cast<int32_t>(base[idx[0]]));
    __m128i* out = reinterpret_cast<__m128i*>(d + k);
    if (kKeyed) {
      const __m128i isKey = _mm_cmpeq_epi32(pix, keys);
      _mm_storeu_si128(out, _mm_or_si128(_mm_and_si128(isKey, _mm_loadu_si128(out)),
                                         _mm_andnot_si128(isKey, pix)));
    } else {
      _mm_storeu_si128(out, pix);
    }
    vx = _mm_add_epi32(vx, stepX);
    vy = _mm_add_epi32(vy, stepY);
  }
  return k;
}
#endif

template <class Op>
void RotateInto(TSurface& dest, int x, int y, int width, int height, const TPatternRef& p,
                double centreX, double centreY, int angle, Op op) {
  TRect sr;
  if (!SourceRect(p, sr)) return;
  // Mirroring by a negative size is not offered; absurd sizes draw nothing.
  constexpr int kMaxSize = 1 << 16;
  if (width <= 0 || height <= 0 || width > kMaxSize || height > kMaxSize) return;
  if (!std::isfinite(centreX) || !std::isfinite(centreY)) return;
  const int turn = ((angle % 256) + 256) % 256;
  double c, s;
  // Quarter turns are exact, so they move whole pixels.
  switch (turn) {
    case 0:
      c = 1, s = 0;
      break;
    case 64:
      c = 0, s = 1;
      break;
    case 128:
      c = -1, s = 0;
      break;
    case 192:
      c = 0, s = -1;
      break;
    default: {
      const double t = turn * (2.0 * M_PI / 256.0);
      c = std::cos(t);
      s = std::sin(t);
    }
  }
  const double px = centreX * width, py = centreY * height;
  if (std::fabs(px) > 1e9 || std::fabs(py) > 1e9) return;

  // Bounding box of the turned image on the destination.
  double minX = 1e300, maxX = -1e300, minY = 1e300, maxY = -1e300;
  for (int k = 0; k < 4; ++k) {
    const double ax = ((k & 1) ? width : 0) - px, ay = ((k & 2) ? height : 0) - py;
    const double bx = x + c * ax - s * ay, by = y + s * ax + c * ay;
    minX = std::min(minX, bx), maxX = std::max(maxX, bx);
    minY = std::min(minY, by), maxY = std::max(maxY, by);
  }
  const int64_t bx0 = std::max<int64_t>(0, static_cast<int64_t>(std::floor(minX)) - 1);
  const int64_t bx1 = std::min<int64_t>(dest.Width(), static_cast<int64_t>(std::ceil(maxX)) + 1);
  const int64_t by0 = std::max<int64_t>(0, static_cast<int64_t>(std::floor(minY)) - 1);
  const int64_t by1 = std::min<int64_t>(dest.Height(), static_cast<int64_t>(std::ceil(maxY)) + 1);
  if (bx0 >= bx1 || by0 >= by1) return;

  // Scaled-image pixel -> pattern pixel, as the stretched draw scales: a row pointer for
  // each scaled row and a column offset for each scaled column.
  thread_local std::vector<int32_t> umap;
  thread_local std::vector<const uint32_t*> rows;
  umap.resize(width);
  rows.resize(height);
  for (int u = 0; u < width; ++u) umap[u] = ScaledIndex(u, sr.Width(), width);
  for (int v = 0; v < height; ++v)
    rows[v] = p.Surface->Row(sr.Top + ScaledIndex(v, sr.Height(), height)) + sr.Left;
  const int32_t* cols = umap.data();
  const uint32_t* const* src = rows.data();

  // Inverse mapping: the destination pixel centre d lands in the scaled image at
  // q = R(-angle) (d - (x, y)) + P. Stepped in 32.32 fixed point along each row; one step
  // right adds (c, -s).
  const int64_t cf = std::llround(c * kOne), sf = std::llround(s * kOne);
  const int64_t wf = int64_t{width} << kFrac, hf = int64_t{height} << kFrac;
  const uint32_t key = p.KeyPixel;
  const bool keyed = p.Transparent;
  const bool unscaled = width == sr.Width() && height == sr.Height();
  const uint32_t* base = p.Surface->Row(sr.Top) + sr.Left;
  const int64_t stride = p.Surface->Width();
  const double invX = cf ? 1.0 / static_cast<double>(cf) : 0,
               invY = sf ? -1.0 / static_cast<double>(sf) : 0;
  // Row starts step by (s, c) per row down.
  const double dy0 = by0 + 0.5 - y, dx0 = bx0 + 0.5 - x;
  int64_t rowX = std::llround((c * dx0 + s * dy0 + px) * kOne);
  int64_t rowY = std::llround((-s * dx0 + c * dy0 + py) * kOne);
  // First the span of each destination row that the image covers ...
  struct Span {
    int32_t Y;
    int32_t Lo, Hi;  // steps from bx0, inclusive
    int64_t Qx, Qy;  // at Lo
  };
  thread_local std::vector<Span> spans;
  spans.clear();
  for (int64_t Y = by0; Y < by1; ++Y, rowX += sf, rowY += cf) {
    // The steps k with both coordinates inside form one interval, found exactly.
    int64_t lo = 0, hi = bx1 - bx0 - 1;
    if (!StepRange(rowX, cf, invX, wf, lo, hi) || !StepRange(rowY, -sf, invY, hf, lo, hi)) continue;
    spans.push_back({static_cast<int32_t>(Y), static_cast<int32_t>(lo), static_cast<int32_t>(hi),
                     rowX + lo * cf, rowY - lo * sf});
  }
  // ... then the spans strip by strip: a narrow strip of the destination reads a compact
  // area of the source, which stays in the cache even when the turn walks it diagonally.
  constexpr int32_t kStrip = 64;
#if defined(__SSE2__)
  // The vector path packs (u, v) into 16-bit halves.
  const bool simd = width < 32768 && height < 32768 && stride < 32768;
  const __m128i simdLimits = _mm_set1_epi32(((height - 1) << 16) | (width - 1));
  const __m128i simdStride = _mm_set1_epi32((static_cast<int32_t>(stride) << 16) | 1);
#endif
  auto draw = [&](auto keyedTag, auto unscaledTag) {
    constexpr bool kKeyed = decltype(keyedTag)::value, kUnscaled = decltype(unscaledTag)::value;
    for (int32_t s0 = 0; s0 < bx1 - bx0; s0 += kStrip) {
      const int32_t s1 = s0 + kStrip - 1;
      for (const Span& sp : spans) {
        const int32_t a = std::max(sp.Lo, s0), b = std::min(sp.Hi, s1);
        if (a > b) continue;
        int64_t qx = sp.Qx + (a - sp.Lo) * cf, qy = sp.Qy - (a - sp.Lo) * sf;
        uint32_t* d = dest.Row(sp.Y) + bx0;
        int32_t k = a;
#if defined(__SSE2__)
        if constexpr (kUnscaled && std::is_same_v<Op, CopyOp>) {
          if (simd) {
            k = RotatedCopy4<kKeyed>(d, k, b, qx, qy, cf, sf, base, simdLimits, simdStride, key);
            qx += (k - a) * cf;
            qy -= (k - a) * sf;
          }
        }
#endif
        for (; k <= b; ++k, qx += cf, qy -= sf) {
          uint32_t pix;
          if constexpr (kUnscaled)
            pix = base[(qy >> kFrac) * stride + (qx >> kFrac)];
          else
            pix = src[qy >> kFrac][cols[qx >> kFrac]];
          if (kKeyed && pix == key) continue;
          d[k] = op(d[k], pix);
        }
      }
    }
  };
  using T = std::true_type;
  using F = std::false_type;
  if (keyed)
    unscaled ? draw(T{}, T{}) : draw(T{}, F{});
  else
    unscaled ? draw(F{}, T{}) : draw(F{}, F{});
}

}  // namespace

TPatternRuns BuildOpaqueRuns(const TSurface& s, TRect r, uint32_t keyPixel) {
  TPatternRuns runs;
  r.Left = std::max(r.Left, 0);
  r.Top = std::max(r.Top, 0);
  r.Right = std::min(r.Right, s.Width());
  r.Bottom = std::min(r.Bottom, s.Height());
  if (r.Left >= r.Right || r.Top >= r.Bottom) {
    runs.RowStart.push_back(0);
    return runs;
  }
  const int w = r.Width();
  runs.RowStart.reserve(static_cast<size_t>(r.Height()) + 1);
  for (int y = r.Top; y < r.Bottom; ++y) {
    runs.RowStart.push_back(static_cast<uint32_t>(runs.Runs.size()));
    const uint32_t* row = s.Row(y) + r.Left;
    int x = 0;
    while (x < w) {
      while (x < w && row[x] == keyPixel) ++x;
      const int start = x;
      while (x < w && row[x] != keyPixel) ++x;
      // Lengths are 16-bit; a longer span is split.
      for (int a = start; a < x; a += 0xFFFF)
        runs.Runs.push_back(
            {static_cast<uint16_t>(a), static_cast<uint16_t>(std::min(x - a, 0xFFFF))});
    }
  }
  runs.RowStart.push_back(static_cast<uint32_t>(runs.Runs.size()));
  return runs;
}

void BlitPattern(TSurface& dest, int x, int y, const TPatternRef& p) {
  TRect sr;
  if (!SourceRect(p, sr)) return;
  const int64_t dx = int64_t{x} + (sr.Left - p.Rect.Left), dy = int64_t{y} + (sr.Top - p.Rect.Top);
  const int64_t x0 = std::max<int64_t>(dx, 0),
                x1 = std::min<int64_t>(dx + sr.Width(), dest.Width());
  const int64_t y0 = std::max<int64_t>(dy, 0),
                y1 = std::min<int64_t>(dy + sr.Height(), dest.Height());
  if (x0 >= x1 || y0 >= y1) return;
  const int cx0 = static_cast<int>(x0 - dx), cx1 = static_cast<int>(x1 - dx);  // pattern columns
  const size_t bytes = static_cast<size_t>(cx1 - cx0) * sizeof(uint32_t);
  if (!p.Transparent) {
    for (int64_t Y = y0; Y < y1; ++Y)
      std::memcpy(dest.Row(static_cast<int>(Y)) + x0,
                  p.Surface->Row(static_cast<int>(sr.Top + (Y - dy))) + sr.Left + cx0, bytes);
    return;
  }
  const TPatternRuns* runs = p.Runs;
  const bool useRuns =
      runs && sr == p.Rect && runs->RowStart.size() == static_cast<size_t>(sr.Height()) + 1;
  const uint32_t key = p.KeyPixel;
  const int rows = static_cast<int>(y1 - y0), firstRow = static_cast<int>(y0 - dy);
  const int srcStride = p.Surface->Width(), destStride = dest.Width();
  // Both indexed by pattern column minus cx0.
  const uint32_t* s = p.Surface->Row(sr.Top + firstRow) + sr.Left + cx0;
  uint32_t* d = dest.Row(static_cast<int>(y0)) + x0;
  if (useRuns && cx0 == 0 && cx1 == sr.Width()) {
    // No column is clipped: every run is copied whole.
    const TOpaqueRun* all = runs->Runs.data();
    const uint32_t* start = runs->RowStart.data() + firstRow;
    for (int row = 0; row < rows; ++row, s += srcStride, d += destStride) {
      for (const TOpaqueRun *r = all + start[row], *end = all + start[row + 1]; r != end; ++r)
        std::memcpy(d + r->Start, s + r->Start, r->Length * sizeof(uint32_t));
    }
    return;
  }
  for (int i = 0; i < rows; ++i, s += srcStride, d += destStride) {
    const int row = firstRow + i;
    if (useRuns) {
      const TOpaqueRun* r = runs->Runs.data() + runs->RowStart[row];
      const TOpaqueRun* end = runs->Runs.data() + runs->RowStart[row + 1];
      for (; r != end; ++r) {
        int a = r->Start, b = r->Start + r->Length;
        if (b <= cx0) continue;
        if (a >= cx1) break;
        a = std::max(a, cx0) - cx0;
        b = std::min(b, cx1) - cx0;
        std::memcpy(d + a, s + a, static_cast<size_t>(b - a) * sizeof(uint32_t));
      }
    } else {
      for (int i = 0; i < cx1 - cx0; ++i)
        if (s[i] != key) d[i] = s[i];
    }
  }
}

void BlitStretched(TSurface& dest, const TRect& destRect, const TPatternRef& p) {
  TRect sr;
  if (!SourceRect(p, sr)) return;
  if (sr == p.Rect && destRect.Width() == sr.Width() && destRect.Height() == sr.Height()) {
    BlitPattern(dest, destRect.Left, destRect.Top, p);  // same size: the run-based copy
    return;
  }
  ScaleInto(dest, destRect, p, CopyOp{});
}

void BlitAdd(TSurface& dest, const TRect& destRect, const TPatternRef& p, int alpha) {
  if (alpha <= 0) return;
  ScaleInto(dest, destRect, p, AddOp{AlphaFactor(alpha)});
}

void BlitRotated(TSurface& dest, int x, int y, int width, int height, const TPatternRef& p,
                 double centreX, double centreY, int angle, bool add, int alpha) {
  if (add && alpha <= 0) return;
  if (angle % 256 == 0 && width > 0 && height > 0 && width <= (1 << 16) && height <= (1 << 16) &&
      std::isfinite(centreX) && std::isfinite(centreY) && std::fabs(centreX * width) < 1e9 &&
      std::fabs(centreY * height) < 1e9) {
    // Unturned, the draw is the stretched one: destination pixel X samples scaled column
    // floor(X + 0.5 - x + centreX * width), that is X - left with left as below (computed
    // in the same fixed point as the turning path).
    const int64_t left = -(std::llround((0.5 - x + centreX * width) * kOne) >> kFrac);
    const int64_t top = -(std::llround((0.5 - y + centreY * height) * kOne) >> kFrac);
    if (left >= INT32_MIN && top >= INT32_MIN && left + width <= INT32_MAX &&
        top + height <= INT32_MAX) {
      const TRect r{static_cast<int32_t>(left), static_cast<int32_t>(top),
                    static_cast<int32_t>(left + width), static_cast<int32_t>(top + height)};
      if (add)
        BlitAdd(dest, r, p, alpha);
      else
        BlitStretched(dest, r, p);
    }
    return;
  }
  if (add) {
    if (alpha <= 0) return;
    RotateInto(dest, x, y, width, height, p, centreX, centreY, angle, AddOp{AlphaFactor(alpha)});
  } else {
    RotateInto(dest, x, y, width, height, p, centreX, centreY, angle, CopyOp{});
  }
}

}  // namespace tk
