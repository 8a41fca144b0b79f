#include "media/Surface.h"

#include <algorithm>
#include <cstring>

namespace tk {

namespace {

// Fills n pixels: a short run by a loop, the rest by copying what is already filled
// (block copies run at memory speed; a plain 32-bit store loop does not).
void FillPixels(uint32_t* p, size_t n, uint32_t pixel) {
  const size_t head = std::min<size_t>(n, 256);
  std::fill(p, p + head, pixel);
  constexpr size_t kChunk = 4096;  // stays in the first-level cache as a source
  size_t done = head;
  while (done < n) {
    const size_t k = std::min({done, kChunk, n - done});
    std::memcpy(p + done, p, k * sizeof(uint32_t));
    done += k;
  }
}

}  // namespace

TSurface::TSurface(int width, int height, TPixels&& pixels)
    : w_(width > 0 ? width : 0), h_(height > 0 ? height : 0), px_(std::move(pixels)) {
  px_.resize(static_cast<size_t>(w_) * static_cast<size_t>(h_), 0);
}

TPixels TSurface::TakePixels() {
  w_ = h_ = 0;
  return std::move(px_);
}

void TSurface::Fill(uint32_t pixel) { FillPixels(px_.data(), px_.size(), pixel); }

void TSurface::FillRect(TRect r, uint32_t pixel) {
  r.Left = std::max(r.Left, 0);
  r.Top = std::max(r.Top, 0);
  r.Right = std::min(r.Right, w_);
  r.Bottom = std::min(r.Bottom, h_);
  if (r.Left >= r.Right || r.Top >= r.Bottom) return;
  if (r.Left == 0 && r.Right == w_) {
    FillPixels(Row(r.Top), static_cast<size_t>(w_) * (r.Bottom - r.Top), pixel);
    return;
  }
  for (int y = r.Top; y < r.Bottom; ++y) FillPixels(Row(y) + r.Left, r.Right - r.Left, pixel);
}

void TSurface::CopyFrom(const TSurface& src) {
  if (&src == this) return;
  if (src.w_ == w_ && src.h_ == h_) {
    if (!px_.empty()) std::memcpy(px_.data(), src.px_.data(), px_.size() * sizeof(uint32_t));
    return;
  }
  *this = src;
}

}  // namespace tk
