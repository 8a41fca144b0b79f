// The JPEG codec behind Picture.cpp's decoders and encoder. The desktop's is libjpeg
// (JpegCodec.cpp); a build without it (the browser's) answers from the pictures the
// desktop's decoded at build time (web/PreparedJpegCodec.cpp, PreparedJpegs.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "media/Picture.h"

namespace tk::jpeg {

// Bigger than any picture the game or a modder needs, small enough that a header lying
// about its size cannot make us allocate gigabytes.
constexpr int64_t kMaxSide = 32768;
constexpr int64_t kMaxPixels = int64_t{1} << 24;

inline bool SizeAllowed(int64_t w, int64_t h) {
  return w >= 0 && h >= 0 && w <= kMaxSide && h <= kMaxSide && w * h <= kMaxPixels;
}

// The stream's size, and unless headerOnly its pixels (0x00RRGGBB, top row first); the
// size is the one a whole decode gives either way. Throws EInvalidGraphic
// "JPEG image is invalid (why)" for a stream it cannot read.
TPicture Decode(std::string_view stream, bool headerOnly);
// A baseline JPEG of the picture at the quality (1..100); throws EInvalidGraphic.
std::string Encode(const TPicture& p, int quality);

}  // namespace tk::jpeg
