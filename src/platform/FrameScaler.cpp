#include "platform/FrameScaler.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tk::platform {

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

void FrameScaler::Scale(const uint32_t* src, int srcW, int srcH, uint32_t* dst,
                        int dstPitchPixels, int dstW, int dstH) {
  if (srcW <= 0 || srcH <= 0 || dstW <= 0 || dstH <= 0) return;
  if (srcW == dstW && srcH == dstH) {
    for (int y = 0; y < dstH; ++y)
      std::memcpy(dst + static_cast<size_t>(y) * dstPitchPixels,
                  src + static_cast<size_t>(y) * srcW, static_cast<size_t>(dstW) * 4);
    return;
  }
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
  // A new frame each call: nothing cached from the last one is valid.
  cachedRow_[0] = cachedRow_[1] = -1;
  for (int y = 0; y < dstH; ++y) {
    const Tap& t = rows_[y];
    uint32_t* out = dst + static_cast<size_t>(y) * dstPitchPixels;
    const uint32_t* a = ScaledRow(src, srcW, t.Index);
    if (t.Weight == 256) {
      std::memcpy(out, a, static_cast<size_t>(dstW) * 4);
      continue;
    }
    const uint32_t* b = ScaledRow(src, srcW, t.Index + 1);
    for (int x = 0; x < dstW; ++x) out[x] = MixPixels(a[x], b[x], t.Weight);
  }
}

}  // namespace tk::platform
