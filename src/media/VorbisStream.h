// An Ogg Vorbis stream in memory decoded frame by frame into 16-bit stereo, for the
// browser build's prepared tunes. The decoder is stb_vorbis (Debian's libstb-dev), whose
// integer output is the same wherever it runs.
#pragma once

#include <cstdint>
#include <string_view>

struct stb_vorbis;

namespace tk {

class TVorbisStream {
 public:
  // The bytes must outlive the stream. Throws std::runtime_error when they are not a
  // stereo Vorbis stream.
  explicit TVorbisStream(std::string_view ogg);
  ~TVorbisStream();
  TVorbisStream(const TVorbisStream&) = delete;
  TVorbisStream& operator=(const TVorbisStream&) = delete;
  int Rate() const { return rate_; }
  uint32_t Length() const { return length_; }  // frames
  // Fills up to n stereo frames, fewer only at the end of the stream (or where it is
  // damaged); returns how many.
  int Read(int16_t* out, int n);
  // The next Read starts at this frame; false when the stream cannot go there.
  bool Seek(uint32_t frame);

 private:
  stb_vorbis* v_ = nullptr;
  int rate_ = 0;
  uint32_t length_ = 0;
};

}  // namespace tk
