#include "media/VorbisStream.h"

#include <stdexcept>
#include <string>

// stb_vorbis is C written to be included once with its implementation; its own warnings
// are not ours.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wall"
#pragma GCC diagnostic ignored "-Wextra"
#pragma GCC diagnostic ignored "-Wunused-value"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#define STB_VORBIS_NO_STDIO
#define STB_VORBIS_NO_PUSHDATA_API
#include <stb/stb_vorbis.h>
#pragma GCC diagnostic pop

namespace tk {

TVorbisStream::TVorbisStream(std::string_view ogg) {
  int error = 0;
  v_ = stb_vorbis_open_memory(reinterpret_cast<const unsigned char*>(ogg.data()),
                              static_cast<int>(ogg.size()), &error, nullptr);
  if (!v_) throw std::runtime_error("not an Ogg Vorbis stream (decoder error " + std::to_string(error) + ")");
  const stb_vorbis_info info = stb_vorbis_get_info(v_);
  if (info.channels != 2) {
    stb_vorbis_close(v_);
    throw std::runtime_error("a Vorbis stream of " + std::to_string(info.channels) + " channels, not 2");
  }
  rate_ = static_cast<int>(info.sample_rate);
  length_ = stb_vorbis_stream_length_in_samples(v_);
}

TVorbisStream::~TVorbisStream() { stb_vorbis_close(v_); }

int TVorbisStream::Read(int16_t* out, int n) {
  int got = 0;
  while (got < n) {
    const int k = stb_vorbis_get_samples_short_interleaved(v_, 2, out + 2 * got, 2 * (n - got));
    if (k <= 0) break;
    got += k;
  }
  return got;
}

bool TVorbisStream::Seek(uint32_t frame) {
  if (frame == 0) return stb_vorbis_seek_start(v_) != 0;
  return stb_vorbis_seek(v_, frame) != 0;
}

}  // namespace tk
