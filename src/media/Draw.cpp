#include "media/Draw.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>

#include "media/Trig.h"

#if defined(__x86_64__) || defined(__i386__)
#define TK_DRAW_X86 1
#include <immintrin.h>
// Kernels built for AVX2 run only after the processor has been asked.
#define TK_AVX2 __attribute__((target("avx2")))
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tk {

namespace {

TDrawVector BestVector() {
#if defined(TK_DRAW_X86)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) return TDrawVector::Avx2;
#endif
#if defined(__SSE2__)
  return TDrawVector::Sse2;
#else
  return TDrawVector::None;
#endif
}

const TDrawVector kBestVector = BestVector();

// The level a draw of p uses.
TDrawVector VectorOf(const TPatternRef& p) { return std::min(p.Vector, kBestVector); }

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

// floor((a + i * b) / c) for i = 0, 1, 2, ... with c > 0: one division, then stepping.
class TFloorSteps {
 public:
  TFloorSteps(int64_t a, int64_t b, int64_t c) : c_(c) {
    Split(a, q_, r_);
    Split(b, dq_, dr_);
  }
  int64_t Value() const { return q_; }
  void Next() {
    q_ += dq_;
    r_ += dr_;
    if (r_ >= c_) r_ -= c_, ++q_;
  }

 private:
  void Split(int64_t n, int64_t& q, int64_t& r) const {
    q = n / c_;
    r = n % c_;
    if (r < 0) r += c_, --q;
  }
  int64_t c_, q_ = 0, r_ = 0, dq_ = 0, dr_ = 0;
};

// ScaledIndex of first, first + 1, ... into out[0 .. count).
void FillScaledIndex(int32_t* out, int64_t first, int64_t count, int64_t srcLen, int64_t n) {
  TFloorSteps steps((2 * first + 1) * srcLen, 2 * srcLen, 2 * n);
  for (int64_t i = 0; i < count; ++i, steps.Next()) out[i] = static_cast<int32_t>(steps.Value());
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
  FillScaledIndex(xmap.data(), x0 - dr.Left, x1 - x0, sw, dw);
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

// Source positions step in 16.16 fixed point: ample for pictures of a few hundred pixels,
// and every position inside a span fits a 32-bit vector lane. The plain and the vector
// loops use the same numbers, so they pick the same pixels.
constexpr int kFrac = 16;
constexpr double kOne = 65536.0;  // 1 << kFrac

// The steps k with 0 <= q0 + row * perRow + k * perStep < limit, row by row.
class TAxisRange {
 public:
  TAxisRange(int64_t q0, int64_t perRow, int64_t perStep, int64_t limit)
      : flat_(perStep == 0),
        value_(q0),
        perRow_(perRow),
        limit_(limit),
        // Rising: k >= ceil(-q / perStep) and k <= floor((limit - 1 - q) / perStep).
        // Falling (g = -perStep): k >= ceil((q - limit + 1) / g) and k <= floor(q / g).
        lo_(perStep > 0   ? TFloorSteps(perStep - 1 - q0, -perRow, perStep)
            : perStep < 0 ? TFloorSteps(q0 - limit - perStep, perRow, -perStep)
                          : TFloorSteps(0, 0, 1)),
        hi_(perStep > 0   ? TFloorSteps(limit - 1 - q0, -perRow, perStep)
            : perStep < 0 ? TFloorSteps(q0, perRow, -perStep)
                          : TFloorSteps(0, 0, 1)) {}

  // Narrows [lo, hi] to this row's steps (lo > hi when none are left).
  void Narrow(int64_t& lo, int64_t& hi) const {
    if (flat_) {
      if (value_ < 0 || value_ >= limit_) hi = lo - 1;
      return;
    }
    lo = std::max(lo, lo_.Value());
    hi = std::min(hi, hi_.Value());
  }
  void Next() {
    value_ += perRow_;
    lo_.Next();
    hi_.Next();
  }

 private:
  bool flat_;
  int64_t value_, perRow_, limit_;
  TFloorSteps lo_, hi_;
};

// One row of an unscaled turned copy: destination pixels k..last of d, the first at source
// position (qx, qy) in 16.16, each next one (dx, dy) further. The caller has made sure that
// every position of [k, last] lies on the source, whose rows are stride pixels apart and
// shorter than 32768. The vector kernels return where they stopped; the rest is left over.
struct TTurnRow {
  uint32_t* D;
  int32_t K, Last;
  int32_t Qx, Qy, Dx, Dy;
  const uint32_t* Base;
  int32_t Stride;
  uint32_t Key;
  bool Keyed;
};

#if defined(TK_DRAW_X86)
// (v << 16) | u of each 16.16 position, multiplied out to v * stride + u in one step.
TK_AVX2 int32_t TurnRowAvx2(const TTurnRow& r) {
  const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  __m256i vx = _mm256_add_epi32(_mm256_set1_epi32(r.Qx), _mm256_mullo_epi32(lanes, _mm256_set1_epi32(r.Dx)));
  __m256i vy = _mm256_add_epi32(_mm256_set1_epi32(r.Qy), _mm256_mullo_epi32(lanes, _mm256_set1_epi32(r.Dy)));
  const __m256i stepX = _mm256_set1_epi32(8 * r.Dx), stepY = _mm256_set1_epi32(8 * r.Dy);
  const __m256i highHalf = _mm256_set1_epi32(static_cast<int32_t>(0xFFFF0000u));
  const __m256i strideMul = _mm256_set1_epi32((r.Stride << 16) | 1);
  const __m256i keys = _mm256_set1_epi32(static_cast<int32_t>(r.Key));
  const int* base = reinterpret_cast<const int*>(r.Base);
  int32_t k = r.K;
  for (; k + 7 <= r.Last; k += 8) {
    const __m256i uv = _mm256_or_si256(_mm256_and_si256(vy, highHalf), _mm256_srli_epi32(vx, 16));
    const __m256i pix = _mm256_i32gather_epi32(base, _mm256_madd_epi16(uv, strideMul), 4);
    __m256i* out = reinterpret_cast<__m256i*>(r.D + k);
    if (r.Keyed)
      _mm256_storeu_si256(out, _mm256_blendv_epi8(pix, _mm256_loadu_si256(out),
                                                  _mm256_cmpeq_epi32(pix, keys)));
    else
      _mm256_storeu_si256(out, pix);
    vx = _mm256_add_epi32(vx, stepX);
    vy = _mm256_add_epi32(vy, stepY);
  }
  if (k <= r.Last) {
    // The last few pixels: lanes past the span neither read nor write.
    const __m256i live = _mm256_cmpgt_epi32(_mm256_set1_epi32(r.Last - k + 1), lanes);
    const __m256i uv = _mm256_or_si256(_mm256_and_si256(vy, highHalf), _mm256_srli_epi32(vx, 16));
    const __m256i pix = _mm256_mask_i32gather_epi32(_mm256_setzero_si256(), base,
                                                    _mm256_madd_epi16(uv, strideMul), live, 4);
    const __m256i write =
        r.Keyed ? _mm256_andnot_si256(_mm256_cmpeq_epi32(pix, keys), live) : live;
    _mm256_maskstore_epi32(reinterpret_cast<int*>(r.D + k), write, pix);
    k = r.Last + 1;
  }
  return k;
}

// The opaque runs of rows [0, rows), clipped to pattern columns [cx0, cx1); s and d point at
// column 0 of the first row. Moves are inline, as a call per run costs about as much as a
// run's copy. A run's last vector may overlap the one before: the run is opaque
// throughout, so a pixel written twice gets the same value.
TK_AVX2 void CopyRunsAvx2(uint32_t* d, const uint32_t* s, int rows, ptrdiff_t destStride,
                          ptrdiff_t srcStride, const TOpaqueRun* all, const uint32_t* rowStart,
                          int cx0, int cx1) {
  for (int row = 0; row < rows; ++row, s += srcStride, d += destStride) {
    for (const TOpaqueRun *r = all + rowStart[row], *end = all + rowStart[row + 1]; r != end;
         ++r) {
      int a = r->Start, b = r->Start + r->Length;
      if (b <= cx0) continue;
      if (a >= cx1) break;
      a = a < cx0 ? cx0 : a;
      b = b > cx1 ? cx1 : b;
      const int n = b - a;
      uint32_t* to = d + a;
      const uint32_t* from = s + a;
      if (n >= 8) {
        // An unaligned first vector, then stores on 32-byte boundaries (a store across a
        // cache line costs two), then a last one flush with the end.
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(to),
                            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from)));
        int i = 8 - static_cast<int>((reinterpret_cast<uintptr_t>(to) >> 2) & 7);
        for (; i + 8 <= n; i += 8)
          _mm256_store_si256(reinterpret_cast<__m256i*>(to + i),
                             _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + i)));
        if (i < n)
          _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + n - 8),
                              _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + n - 8)));
      } else if (n >= 4) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(from)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + n - 4),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + n - 4)));
      } else {
        for (int i = 0; i < n; ++i) to[i] = from[i];
      }
    }
  }
}

// Keyed copy of n pixels without precomputed runs: a blend per vector.
TK_AVX2 int KeyedRowAvx2(uint32_t* d, const uint32_t* s, int n, uint32_t key) {
  const __m256i keys = _mm256_set1_epi32(static_cast<int32_t>(key));
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m256i px = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i));
    __m256i* out = reinterpret_cast<__m256i*>(d + i);
    _mm256_storeu_si256(out, _mm256_blendv_epi8(px, _mm256_loadu_si256(out),
                                                _mm256_cmpeq_epi32(px, keys)));
  }
  return i;
}
#endif

#if defined(__SSE2__)
// TurnRowAvx2 four pixels at a time, the loads one by one (SSE2 has no gather).
int32_t TurnRowSse2(const TTurnRow& r) {
  __m128i vx = _mm_add_epi32(_mm_set1_epi32(r.Qx), _mm_set_epi32(3 * r.Dx, 2 * r.Dx, r.Dx, 0));
  __m128i vy = _mm_add_epi32(_mm_set1_epi32(r.Qy), _mm_set_epi32(3 * r.Dy, 2 * r.Dy, r.Dy, 0));
  const __m128i stepX = _mm_set1_epi32(4 * r.Dx), stepY = _mm_set1_epi32(4 * r.Dy);
  const __m128i highHalf = _mm_set1_epi32(static_cast<int32_t>(0xFFFF0000u));
  const __m128i strideMul = _mm_set1_epi32((r.Stride << 16) | 1);
  const __m128i keys = _mm_set1_epi32(static_cast<int32_t>(r.Key));
  alignas(16) int32_t idx[4];
  int32_t k = r.K;
  for (; k + 3 <= r.Last; k += 4) {
    const __m128i uv = _mm_or_si128(_mm_and_si128(vy, highHalf), _mm_srli_epi32(vx, 16));
    _mm_store_si128(reinterpret_cast<__m128i*>(idx), _mm_madd_epi16(uv, strideMul));
    const __m128i pix = _mm_set_epi32(
        static_cast<int32_t>(r.Base[idx[3]]), static_cast<int32_t>(r.Base[idx[2]]),
        static_cast<int32_t>(r.Base[idx[1]]), static_cast<int32_t>(r.Base[idx[0]]));
    __m128i* out = reinterpret_cast<__m128i*>(r.D + k);
    if (r.Keyed) {
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

int32_t TurnRowVector([[maybe_unused]] TDrawVector level, const TTurnRow& r) {
#if defined(TK_DRAW_X86)
  if (level >= TDrawVector::Avx2) return TurnRowAvx2(r);
#endif
#if defined(__SSE2__)
  if (level >= TDrawVector::Sse2) return TurnRowSse2(r);
#endif
  return r.K;
}

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
      c = Cos(t);
      s = Sin(t);
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

  const uint32_t key = p.KeyPixel;
  const bool keyed = p.Transparent;
  const bool unscaled = width == sr.Width() && height == sr.Height();
  // Scaled-image pixel -> pattern pixel, as the stretched draw scales: a row pointer for
  // each scaled row and a column offset for each scaled column (unscaled draws index the
  // pattern directly).
  thread_local std::vector<int32_t> umap;
  thread_local std::vector<const uint32_t*> rows;
  if (!unscaled) {
    umap.resize(width);
    FillScaledIndex(umap.data(), 0, width, sr.Width(), width);
    thread_local std::vector<int32_t> vmap;
    vmap.resize(height);
    FillScaledIndex(vmap.data(), 0, height, sr.Height(), height);
    rows.resize(height);
    for (int v = 0; v < height; ++v) rows[v] = p.Surface->Row(sr.Top + vmap[v]) + sr.Left;
  }
  const int32_t* cols = umap.data();
  const uint32_t* const* src = rows.data();

  // Inverse mapping: the destination pixel centre d lands in the scaled image at
  // q = R(-angle) (d - (x, y)) + P. One step right adds (c, -s), one row down (s, c).
  const int64_t cf = std::llround(c * kOne), sf = std::llround(s * kOne);
  const int64_t wf = int64_t{width} << kFrac, hf = int64_t{height} << kFrac;
  const uint32_t* base = p.Surface->Row(sr.Top) + sr.Left;
  const int64_t stride = p.Surface->Width();
  const double dy0 = by0 + 0.5 - y, dx0 = bx0 + 0.5 - x;
  int64_t rowX = std::llround((c * dx0 + s * dy0 + px) * kOne);
  int64_t rowY = std::llround((-s * dx0 + c * dy0 + py) * kOne);
  // The steps k of each row with both coordinates on the image form one interval, tracked
  // exactly from row to row.
  TAxisRange alongX(rowX, sf, cf, wf), alongY(rowY, cf, -sf, hf);
  // The vector kernels keep positions in 32-bit lanes and multiply with 16-bit halves.
  const TDrawVector level = VectorOf(p);
  const bool vector = unscaled && std::is_same_v<Op, CopyOp> && level != TDrawVector::None &&
                      width < 32768 && height < 32768 && stride < 32768;
  auto draw = [&](auto keyedTag, auto unscaledTag) {
    constexpr bool kKeyed = decltype(keyedTag)::value, kUnscaled = decltype(unscaledTag)::value;
    for (int64_t Y = by0; Y < by1; ++Y, rowX += sf, rowY += cf, alongX.Next(), alongY.Next()) {
      int64_t lo = 0, hi = bx1 - bx0 - 1;
      alongX.Narrow(lo, hi);
      alongY.Narrow(lo, hi);
      if (lo > hi) continue;
      int64_t qx = rowX + lo * cf, qy = rowY - lo * sf;
      uint32_t* d = dest.Row(static_cast<int>(Y)) + bx0;
      int64_t k = lo;
      if (vector) {
        // Inside the span every position is on the image, so it fits the lanes.
        k = TurnRowVector(level, {d, static_cast<int32_t>(lo), static_cast<int32_t>(hi),
                           static_cast<int32_t>(qx), static_cast<int32_t>(qy),
                           static_cast<int32_t>(cf), static_cast<int32_t>(-sf), base,
                           static_cast<int32_t>(stride), key, kKeyed});
        qx += (k - lo) * cf;
        qy -= (k - lo) * sf;
      }
      for (; k <= hi; ++k, qx += cf, qy -= sf) {
        uint32_t pix;
        if constexpr (kUnscaled)
          pix = base[(qy >> kFrac) * stride + (qx >> kFrac)];
        else
          pix = src[qy >> kFrac][cols[qx >> kFrac]];
        if (kKeyed && pix == key) continue;
        d[k] = op(d[k], pix);
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

namespace {

// The first index from x on where (row[i] == key) is no longer `equal`; w when none. Four
// pixels at a time: every picture is scanned once at upload, most of it in long runs.
int ScanRun(const uint32_t* row, int x, int w, uint32_t key, bool equal) {
#if defined(__SSE2__)
  const __m128i k = _mm_set1_epi32(static_cast<int>(key));
  const int all = equal ? 0xFFFF : 0;
  while (x + 4 <= w) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x));
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(v, k)) != all) break;
    x += 4;
  }
#endif
  while (x < w && (row[x] == key) == equal) ++x;
  return x;
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
      x = ScanRun(row, x, w, keyPixel, true);
      const int start = x;
      x = ScanRun(row, x, w, keyPixel, false);
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
  const uint32_t* s = p.Surface->Row(sr.Top + firstRow) + sr.Left;  // pattern column 0
  uint32_t* d = dest.Row(static_cast<int>(y0)) + (x0 - cx0);        // lines up with s
  if (useRuns) {
    const TOpaqueRun* all = runs->Runs.data();
    const uint32_t* rowStart = runs->RowStart.data() + firstRow;
#if defined(TK_DRAW_X86)
    if (VectorOf(p) >= TDrawVector::Avx2) {
      CopyRunsAvx2(d, s, rows, destStride, srcStride, all, rowStart, cx0, cx1);
      return;
    }
#endif
    for (int row = 0; row < rows; ++row, s += srcStride, d += destStride) {
      for (const TOpaqueRun *r = all + rowStart[row], *end = all + rowStart[row + 1]; r != end;
           ++r) {
        const int a = std::max<int>(r->Start, cx0), b = std::min<int>(r->Start + r->Length, cx1);
        if (a < b) std::memcpy(d + a, s + a, static_cast<size_t>(b - a) * sizeof(uint32_t));
      }
    }
    return;
  }
  for (int row = 0; row < rows; ++row, s += srcStride, d += destStride) {
    int i = cx0;
#if defined(TK_DRAW_X86)
    if (VectorOf(p) >= TDrawVector::Avx2) i += KeyedRowAvx2(d + cx0, s + cx0, cx1 - cx0, key);
#endif
    for (; i < cx1; ++i)
      if (s[i] != key) d[i] = s[i];
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

TDrawVector BestDrawVector() { return kBestVector; }

}  // namespace tk
