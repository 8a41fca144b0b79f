#include "platform/FrameScaler.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#define TK_SCALER_X86 1
#include <immintrin.h>
// Kernels built for AVX2 run only after the processor has been asked.
#define TK_AVX2 __attribute__((target("avx2")))
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tk::platform {

namespace {

ScalerVector Best() {
#if defined(TK_SCALER_X86)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) return ScalerVector::Avx2;
#endif
#if defined(__SSE2__)
  return ScalerVector::Sse2;
#else
  return ScalerVector::None;
#endif
}

const ScalerVector kBest = Best();

// The tables of one row's horizontal pass (FrameScaler's colA_ ... colRel_).
struct RowTaps {
  const int32_t* A;
  const int32_t* B;
  const uint16_t* W;
  const uint16_t* V;
  const int32_t* Base;
  const int32_t* Rel;
};

// Both kernels below compute each channel as a 16-bit lane: a * w + b * v + 128 stays below
// 65536 for w + v <= 256, so a logical shift by 8 gives MixPixels' rounding exactly.

#if defined(TK_SCALER_X86)
// Pixels [0, the returned count) of a row's horizontal pass, eight at a time. Enlarging,
// eight destination pixels take at most nine neighbouring source pixels: two loads and a
// shuffle each instead of sixteen loads (the processor's gather is slower still).
TK_AVX2 int ScaleRowAvx2(const uint32_t* src, uint32_t* out, int n, const RowTaps& t) {
  const __m256i half = _mm256_set1_epi16(128);
  int x = 0;
  for (; x + 8 <= n; x += 8) {
    __m256i pa, pb;
    if (const int32_t base = t.Base[x / 8]; base >= 0) {
      const __m256i rel = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(t.Rel + x));
      pa = _mm256_permutevar8x32_epi32(
          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + base)), rel);
      pb = _mm256_permutevar8x32_epi32(
          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + base + 1)), rel);
    } else {
      const int32_t* a = t.A + x;
      const int32_t* b = t.B + x;
      pa = _mm256_setr_epi32(static_cast<int32_t>(src[a[0]]), static_cast<int32_t>(src[a[1]]),
                             static_cast<int32_t>(src[a[2]]), static_cast<int32_t>(src[a[3]]),
                             static_cast<int32_t>(src[a[4]]), static_cast<int32_t>(src[a[5]]),
                             static_cast<int32_t>(src[a[6]]), static_cast<int32_t>(src[a[7]]));
      pb = _mm256_setr_epi32(static_cast<int32_t>(src[b[0]]), static_cast<int32_t>(src[b[1]]),
                             static_cast<int32_t>(src[b[2]]), static_cast<int32_t>(src[b[3]]),
                             static_cast<int32_t>(src[b[4]]), static_cast<int32_t>(src[b[5]]),
                             static_cast<int32_t>(src[b[6]]), static_cast<int32_t>(src[b[7]]));
    }
    // Four pixels' channels a register, in pixel order as the weight tables are.
    const __m256i a0 = _mm256_cvtepu8_epi16(_mm256_castsi256_si128(pa));
    const __m256i a1 = _mm256_cvtepu8_epi16(_mm256_extracti128_si256(pa, 1));
    const __m256i b0 = _mm256_cvtepu8_epi16(_mm256_castsi256_si128(pb));
    const __m256i b1 = _mm256_cvtepu8_epi16(_mm256_extracti128_si256(pb, 1));
    const __m256i* w = reinterpret_cast<const __m256i*>(t.W + 4 * x);
    const __m256i* v = reinterpret_cast<const __m256i*>(t.V + 4 * x);
    const __m256i lo = _mm256_srli_epi16(
        _mm256_add_epi16(_mm256_add_epi16(_mm256_mullo_epi16(a0, _mm256_loadu_si256(w)),
                                          _mm256_mullo_epi16(b0, _mm256_loadu_si256(v))),
                         half),
        8);
    const __m256i hi = _mm256_srli_epi16(
        _mm256_add_epi16(_mm256_add_epi16(_mm256_mullo_epi16(a1, _mm256_loadu_si256(w + 1)),
                                          _mm256_mullo_epi16(b1, _mm256_loadu_si256(v + 1))),
                         half),
        8);
    // The pack works within each 128-bit half: pixels 0 1 4 5 2 3 6 7, put back in order.
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x),
                        _mm256_permute4x64_epi64(_mm256_packus_epi16(lo, hi), 0xD8));
  }
  return x;
}

// MixRows eight pixels at a time.
TK_AVX2 int MixRowsAvx2(const uint32_t* a, const uint32_t* b, uint32_t* out, int n, uint32_t w) {
  const __m256i wv = _mm256_set1_epi16(static_cast<short>(w));
  const __m256i vv = _mm256_set1_epi16(static_cast<short>(256 - w));
  const __m256i half = _mm256_set1_epi16(128), zero = _mm256_setzero_si256();
  const __m256i rgb = _mm256_set1_epi32(0x00FFFFFF);
  int x = 0;
  for (; x + 8 <= n; x += 8) {
    const __m256i pa = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + x));
    const __m256i pb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + x));
    // Unpacking and packing both stay within each 128-bit half, so the order comes back.
    const __m256i lo = _mm256_srli_epi16(
        _mm256_add_epi16(_mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(pa, zero), wv),
                                          _mm256_mullo_epi16(_mm256_unpacklo_epi8(pb, zero), vv)),
                         half),
        8);
    const __m256i hi = _mm256_srli_epi16(
        _mm256_add_epi16(_mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(pa, zero), wv),
                                          _mm256_mullo_epi16(_mm256_unpackhi_epi8(pb, zero), vv)),
                         half),
        8);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x),
                        _mm256_and_si256(_mm256_packus_epi16(lo, hi), rgb));
  }
  return x;
}
#endif

#if defined(__SSE2__)
// ScaleRowAvx2 four pixels at a time, the loads one by one (SSE2 has no gather).
int ScaleRowSse2(const uint32_t* src, uint32_t* out, int n, const RowTaps& t) {
  const __m128i half = _mm_set1_epi16(128), zero = _mm_setzero_si128();
  int x = 0;
  for (; x + 4 <= n; x += 4) {
    const __m128i pa = _mm_set_epi32(
        static_cast<int32_t>(src[t.A[x + 3]]), static_cast<int32_t>(src[t.A[x + 2]]),
        static_cast<int32_t>(src[t.A[x + 1]]), static_cast<int32_t>(src[t.A[x]]));
    const __m128i pb = _mm_set_epi32(
        static_cast<int32_t>(src[t.B[x + 3]]), static_cast<int32_t>(src[t.B[x + 2]]),
        static_cast<int32_t>(src[t.B[x + 1]]), static_cast<int32_t>(src[t.B[x]]));
    const __m128i* w = reinterpret_cast<const __m128i*>(t.W + 4 * x);
    const __m128i* v = reinterpret_cast<const __m128i*>(t.V + 4 * x);
    const __m128i lo = _mm_srli_epi16(
        _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(pa, zero), _mm_loadu_si128(w)),
                                    _mm_mullo_epi16(_mm_unpacklo_epi8(pb, zero), _mm_loadu_si128(v))),
                      half),
        8);
    const __m128i hi = _mm_srli_epi16(
        _mm_add_epi16(
            _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(pa, zero), _mm_loadu_si128(w + 1)),
                          _mm_mullo_epi16(_mm_unpackhi_epi8(pb, zero), _mm_loadu_si128(v + 1))),
            half),
        8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(lo, hi));
  }
  return x;
}

// MixRows four pixels at a time. The top byte is cleared as MixPixels clears it.
int MixRowsSse2(const uint32_t* a, const uint32_t* b, uint32_t* out, int n, uint32_t w) {
  const __m128i wv = _mm_set1_epi16(static_cast<short>(w));
  const __m128i vv = _mm_set1_epi16(static_cast<short>(256 - w));
  const __m128i half = _mm_set1_epi16(128), zero = _mm_setzero_si128();
  const __m128i rgb = _mm_set1_epi32(0x00FFFFFF);
  int x = 0;
  for (; x + 4 <= n; x += 4) {
    const __m128i pa = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + x));
    const __m128i pb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + x));
    const __m128i lo = _mm_srli_epi16(
        _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(pa, zero), wv),
                                    _mm_mullo_epi16(_mm_unpacklo_epi8(pb, zero), vv)),
                      half),
        8);
    const __m128i hi = _mm_srli_epi16(
        _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(pa, zero), wv),
                                    _mm_mullo_epi16(_mm_unpackhi_epi8(pb, zero), vv)),
                      half),
        8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x),
                     _mm_and_si128(_mm_packus_epi16(lo, hi), rgb));
  }
  return x;
}
#endif

// out[x] = MixPixels(a[x], b[x], w) for a row: the blend of two scaled source rows.
void MixRows([[maybe_unused]] ScalerVector level, const uint32_t* a, const uint32_t* b, uint32_t* out, int n,
             uint32_t w) {
  int x = 0;
#if defined(TK_SCALER_X86)
  if (level >= ScalerVector::Avx2) x = MixRowsAvx2(a, b, out, n, w);
#endif
#if defined(__SSE2__)
  if (x == 0 && level >= ScalerVector::Sse2) x = MixRowsSse2(a, b, out, n, w);
#endif
  for (; x < n; ++x) out[x] = MixPixels(a[x], b[x], w);
}

}  // namespace

ScalerVector BestScalerVector() { return kBest; }

Letterbox FitLetterbox(int windowW, int windowH, int frameW, int frameH) {
  Letterbox b;
  if (windowW <= 0 || windowH <= 0 || frameW <= 0 || frameH <= 0) return b;
  // Compared as cross products, so a window of exactly the frame's aspect gets no bars.
  const int64_t wide = int64_t{windowW} * frameH, tall = int64_t{windowH} * frameW;
  if (wide == tall) {
    b.W = windowW;
    b.H = windowH;
    b.Scale = static_cast<double>(windowW) / frameW;
  } else if (wide < tall) {  // bars above and below
    b.Scale = static_cast<double>(windowW) / frameW;
    b.W = windowW;
    b.H = std::max(1, static_cast<int>(int64_t{frameH} * windowW / frameW));
    b.Y = (windowH - b.H) / 2;
  } else {  // bars left and right
    b.Scale = static_cast<double>(windowH) / frameH;
    b.H = windowH;
    b.W = std::max(1, static_cast<int>(int64_t{frameW} * windowH / frameH));
    b.X = (windowW - b.W) / 2;
  }
  return b;
}

void WindowToFrame(const Letterbox& box, int x, int y, int& fx, int& fy) {
  if (box.Scale <= 0) {
    fx = x;
    fy = y;
    return;
  }
  // Truncated towards zero, as the renderer's logical-size mapping does.
  fx = static_cast<int>((x - box.X) / box.Scale);
  fy = static_cast<int>((y - box.Y) / box.Scale);
}

std::vector<FrameScaler::Tap> FrameScaler::Taps(int srcSize, int dstSize) {
  std::vector<Tap> taps(static_cast<size_t>(std::max(dstSize, 0)));
  if (srcSize <= 0 || dstSize <= 0) return taps;
  const int last = srcSize - 1;
  for (int i = 0; i < dstSize; ++i) {
    Tap& t = taps[i];
    if (dstSize >= srcSize) {
      // Destination pixel i covers [i, i + 1) * src / dst of the source, in units of
      // 1 / dst: it starts at i * src and is src long.
      const int64_t start = int64_t{i} * srcSize;
      const int64_t k = start / dstSize;
      const int64_t boundary = (k + 1) * dstSize;
      t.Index = static_cast<int>(k);
      if (start + srcSize <= boundary || k >= last) {
        t.Weight = 256;
      } else {
        t.Weight = static_cast<uint32_t>(((boundary - start) * 256 + srcSize / 2) / srcSize);
      }
    } else {
      // Shrinking: between the two source pixels nearest the destination pixel's centre.
      const double c = (i + 0.5) * srcSize / dstSize - 0.5;
      const double k = std::floor(c);
      t.Index = static_cast<int>(std::clamp(k, 0.0, static_cast<double>(last)));
      t.Weight = t.Index >= last ? 256u : static_cast<uint32_t>(std::lround((1 - (c - k)) * 256));
    }
    if (t.Weight == 0 && t.Index < last) {  // all of it is the next pixel
      ++t.Index;
      t.Weight = 256;
    }
  }
  return taps;
}

void FrameScaler::ScaleRow(const uint32_t* src, uint32_t* out) const {
  if (colsIdentity_) {
    std::memcpy(out, src, static_cast<size_t>(dstW_) * 4);
    return;
  }
  [[maybe_unused]] const ScalerVector level = std::min(Vector, kBest);
  [[maybe_unused]] const RowTaps taps{colA_.data(), colB_.data(),    colW_.data(),
                                      colV_.data(), colBase_.data(), colRel_.data()};
  int x = 0;
#if defined(TK_SCALER_X86)
  if (level >= ScalerVector::Avx2) x = ScaleRowAvx2(src, out, dstW_, taps);
#endif
#if defined(__SSE2__)
  if (x == 0 && level >= ScalerVector::Sse2) x = ScaleRowSse2(src, out, dstW_, taps);
#endif
  const Tap* t = cols_.data() + x;
  for (; x < dstW_; ++x, ++t)
    out[x] = t->Weight == 256 ? src[t->Index] : MixPixels(src[t->Index], src[t->Index + 1], t->Weight);
}

const uint32_t* FrameScaler::ScaledRow(const uint32_t* src, int srcW, int row) {
  // The slot not used last is the one to fill, so a pair of rows stays cached together.
  for (int s = 0; s < 2; ++s)
    if (cachedRow_[s] == row) {
      nextSlot_ = s ^ 1;
      return cache_[s].data();
    }
  const int s = nextSlot_;
  nextSlot_ ^= 1;
  cachedRow_[s] = row;
  ScaleRow(src + static_cast<size_t>(row) * srcW, cache_[s].data());
  return cache_[s].data();
}

void FrameScaler::SetSizes(int srcW, int srcH, int dstW, int dstH) {
  if (srcW != srcW_ || srcH != srcH_ || dstW != dstW_ || dstH != dstH_) {
    srcW_ = srcW;
    srcH_ = srcH;
    dstW_ = dstW;
    dstH_ = dstH;
    cols_ = Taps(srcW, dstW);
    rows_ = Taps(srcH, dstH);
    colsIdentity_ = srcW == dstW;
    colA_.assign(static_cast<size_t>(dstW), 0);
    colB_.assign(static_cast<size_t>(dstW), 0);
    colW_.assign(static_cast<size_t>(dstW) * 4, 0);
    colV_.assign(static_cast<size_t>(dstW) * 4, 0);
    for (int x = 0; x < dstW; ++x) {
      const Tap& t = cols_[x];
      const auto w = static_cast<uint16_t>(t.Weight), v = static_cast<uint16_t>(256 - t.Weight);
      colA_[x] = t.Index;
      colB_[x] = std::min(t.Index + 1, srcW - 1);
      uint16_t* wl = &colW_[static_cast<size_t>(x) * 4];
      uint16_t* vl = &colV_[static_cast<size_t>(x) * 4];
      wl[0] = wl[1] = wl[2] = w;
      vl[0] = vl[1] = vl[2] = v;
      wl[3] = t.Weight == 256 ? 256 : 0;
      vl[3] = 0;
    }
    // Each block of eight pixels whose sources lie within nine neighbours, its first source
    // pixel and each pixel's distance from it; the others are -1. Within such a block the
    // second source pixel is always the first one's right neighbour.
    colBase_.assign(static_cast<size_t>(dstW / 8), -1);
    colRel_.assign(static_cast<size_t>(dstW), 0);
    for (int b = 0; b < dstW / 8; ++b) {
      const int32_t base = colA_[b * 8];
      if (colA_[b * 8 + 7] - base > 7 || base + 9 > srcW) continue;
      colBase_[b] = base;
      for (int i = 0; i < 8; ++i) colRel_[b * 8 + i] = colA_[b * 8 + i] - base;
    }
    for (auto& c : cache_) c.assign(static_cast<size_t>(dstW), 0);
  }
}

void FrameScaler::RowsShowing(int srcH, int dstH, int first, int end, int& y0, int& y1) {
  y0 = y1 = 0;
  if (srcH <= 0 || dstH <= 0) return;
  first = std::max(first, 0);
  end = std::min(end, srcH);
  if (first >= end) return;
  if (srcH == dstH) {
    y0 = first;
    y1 = end;
    return;
  }
  if (rowsSrc_ != srcH || rowsDst_ != dstH) {
    rowsOnly_ = Taps(srcH, dstH);
    rowsSrc_ = srcH;
    rowsDst_ = dstH;
  }
  const std::vector<Tap>& rows = rowsOnly_;
  // The taps climb with the destination row: the first and the last row touching the band.
  int lo = -1, hi = -1;
  for (int y = 0; y < dstH; ++y) {
    const Tap& t = rows[y];
    const int top = t.Index, bottom = t.Weight == 256 ? t.Index : t.Index + 1;
    if (bottom >= first && top < end) {
      if (lo < 0) lo = y;
      hi = y;
    }
  }
  if (lo >= 0) {
    y0 = lo;
    y1 = hi + 1;
  }
}

void FrameScaler::Scale(const uint32_t* src, int srcW, int srcH, uint32_t* dst,
                        int dstPitchPixels, int dstW, int dstH) {
  Scale(src, srcW, srcH, dst, dstPitchPixels, dstW, dstH, 0, dstH);
}

void FrameScaler::Scale(const uint32_t* src, int srcW, int srcH, uint32_t* dst,
                        int dstPitchPixels, int dstW, int dstH, int dstY0, int dstY1) {
  if (srcW <= 0 || srcH <= 0 || dstW <= 0 || dstH <= 0) return;
  dstY0 = std::max(dstY0, 0);
  dstY1 = std::min(dstY1, dstH);
  if (srcW == dstW && srcH == dstH) {
    for (int y = dstY0; y < dstY1; ++y)
      std::memcpy(dst + static_cast<size_t>(y) * dstPitchPixels,
                  src + static_cast<size_t>(y) * srcW, static_cast<size_t>(dstW) * 4);
    return;
  }
  SetSizes(srcW, srcH, dstW, dstH);
  // A new frame each call: nothing cached from the last one is valid.
  cachedRow_[0] = cachedRow_[1] = -1;
  for (int y = dstY0; y < dstY1; ++y) {
    const Tap& t = rows_[y];
    uint32_t* out = dst + static_cast<size_t>(y) * dstPitchPixels;
    const uint32_t* a = ScaledRow(src, srcW, t.Index);
    if (t.Weight == 256) {
      std::memcpy(out, a, static_cast<size_t>(dstW) * 4);
      continue;
    }
    const uint32_t* b = ScaledRow(src, srcW, t.Index + 1);
    MixRows(std::min(Vector, kBest), a, b, out, dstW, t.Weight);
  }
}

}  // namespace tk::platform
