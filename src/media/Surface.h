// 32-bit software surfaces: every picture and the back surface the game draws into.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace tk {

// An allocator whose construction without a value leaves the value unset: a buffer that is
// written whole right after it grows is not zeroed first.
template <class T>
struct TNoInitAllocator : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = TNoInitAllocator<U>;
  };
  TNoInitAllocator() = default;
  template <class U>
  TNoInitAllocator(const TNoInitAllocator<U>&) noexcept {}
  template <class U>
  void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... A>
  void construct(U* p, A&&... a) {
    ::new (static_cast<void*>(p)) U(std::forward<A>(a)...);
  }
};

// The pixels of a picture or a surface. resize(n) leaves the pixels it adds unset, for a
// decoder that writes every one of them; resize(n, v), assign(n, v) and the size-and-value
// constructor fill.
using TPixels = std::vector<uint32_t, TNoInitAllocator<uint32_t>>;
// The same pixels as a plain list of them (the tools and the tests build those).
inline bool operator==(const TPixels& a, const std::vector<uint32_t>& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

// A colour as the data files give it: 0x00BBGGRR.
using TColor = uint32_t;

struct TRect {
  int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
  int32_t Width() const { return Right - Left; }
  int32_t Height() const { return Bottom - Top; }
  bool operator==(const TRect&) const = default;
};

// Rectangles that only touch along an edge do not overlap.
inline bool OverlapRect(const TRect& a, const TRect& b) {
  return a.Left < b.Right && b.Left < a.Right && a.Top < b.Bottom && b.Top < a.Bottom;
}

// Pixels are 0x00RRGGBB (XRGB8888), rows packed without padding.
inline uint32_t ColorToPixel(TColor c) {
  return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}
inline TColor PixelToColor(uint32_t p) {
  return ((p >> 16) & 0xFF) | (p & 0xFF00) | ((p & 0xFF) << 16);
}

class TSurface {
 public:
  TSurface() = default;
  TSurface(int width, int height, uint32_t fill = 0)
      : w_(width > 0 ? width : 0), h_(height > 0 ? height : 0),
        px_(static_cast<size_t>(w_) * static_cast<size_t>(h_), fill) {}
  // Takes over a buffer of pixels (padded with black or cut to the size), without a copy.
  TSurface(int width, int height, TPixels&& pixels);
  // Gives the buffer back and leaves the surface empty.
  TPixels TakePixels();
  int Width() const { return w_; }
  int Height() const { return h_; }
  bool Empty() const { return w_ == 0 || h_ == 0; }
  TRect ClientRect() const { return {0, 0, w_, h_}; }
  uint32_t* Pixels() { return px_.data(); }
  const uint32_t* Pixels() const { return px_.data(); }
  uint32_t* Row(int y) { return px_.data() + static_cast<size_t>(y) * w_; }
  const uint32_t* Row(int y) const { return px_.data() + static_cast<size_t>(y) * w_; }
  uint32_t& At(int x, int y) { return Row(y)[x]; }
  uint32_t At(int x, int y) const { return Row(y)[x]; }
  void Fill(uint32_t pixel);
  void FillRect(TRect r, uint32_t pixel);  // clipped
  void CopyFrom(const TSurface& src);  // same size: plain copy; else resize and copy

 private:
  int w_ = 0, h_ = 0;
  TPixels px_;
};

}  // namespace tk
