#include "media/Surface.h"

#include <algorithm>
#include <cstring>

namespace tk {

void TSurface::Fill(uint32_t pixel) { std::fill(px_.begin(), px_.end(), pixel); }

void TSurface::FillRect(TRect r, uint32_t pixel) {
  r.Left = std::max(r.Left, 0);
  r.Top = std::max(r.Top, 0);
  r.Right = std::min(r.Right, w_);
  r.Bottom = std::min(r.Bottom, h_);
  if (r.Left >= r.Right || r.Top >= r.Bottom) return;
  if (r.Left == 0 && r.Right == w_) {
    std::fill(Row(r.Top), Row(r.Top) + static_cast<size_t>(w_) * (r.Bottom - r.Top), pixel);
    return;
  }
  for (int y = r.Top; y < r.Bottom; ++y) std::fill(Row(y) + r.Left, Row(y) + r.Right, pixel);
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
