// JPEG streams decoded ahead of time: what the desktop's decoder made of each stream (its
// size and pixels, or the error it gave, for the header alone and for the whole picture),
// written by tinokvak-pictures at build time for the builds that have no decoder of their
// own (the browser's), which look a stream up by its bytes' digest and length.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tk {

struct TPreparedJpeg {
  uint64_t Key = 0;          // JpegStreamKey of the stream
  uint32_t StreamSize = 0;   // its length in bytes
  std::string HeaderError;   // the header-only read's error, as thrown; empty: it read
  std::string DecodeError;   // the whole decode's error, as thrown; empty: it decoded
  int Width = 0, Height = 0;
  std::vector<uint32_t> Pixels;  // the whole decode's, 0x00RRGGBB, top row first
};

// What this build's decoder makes of a stream (tinokvak-pictures runs it on the desktop).
TPreparedJpeg PrepareJpeg(std::string_view stream);

// A 64-bit FNV-1a digest of the stream's bytes.
uint64_t JpegStreamKey(std::string_view stream);

std::string SerializePreparedJpegs(const std::vector<TPreparedJpeg>& jpegs);
// Throws std::runtime_error for a damaged file.
std::vector<TPreparedJpeg> ParsePreparedJpegs(std::string_view bytes);

}  // namespace tk
