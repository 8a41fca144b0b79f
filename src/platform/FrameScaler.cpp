#include "platform/FrameScaler.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tk::platform {

namespace {

// out[x] = MixPixels(a[x], b[x], w) for a row: the blend of two scaled source rows.
void MixRows(const uint32_t* a, const uint32_t* b, uint32_t* out, int n, uint32_t w) {
  int x = 0;
#if defined(__SSE2__)
  // Each channel as a 16-bit lane: a * w + b * (256 - w) + 128 stays below 65536, so the
  // lanes give MixPixels' rounding exactly; the top byte is cleared as MixPixels clears it.
  const __m128i wv = _mm_set1_epi16(static_cast<short>(w));
  const __m128i vv = _mm_set1_epi16(static_cast<short>(256 - w));
  const __m128i half = _mm_set1_epi16(128), zero = _mm_setzero_si128();
  const __m128i rgb = _mm_set1_epi32(0x00FFFFFF);
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
#endif
  for (; x < n; ++x) out[x] = MixPixels(a[x], b[x], w);
}

}  // namespace

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
  const Tap* t = cols_.data();
  for (int x = 0; x < dstW_; ++x, ++t)
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
    MixRows(a, b, out, dstW, t.Weight);
  }
}

}  // namespace tk::platform
