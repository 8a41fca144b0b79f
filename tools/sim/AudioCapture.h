// tinokvak-sim --audio: what the mixer produced during a run, as a 44.1 kHz 16-bit stereo
// RIFF file, written as it comes so long runs do not pile up in memory.
#pragma once

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <stdexcept>
#include <string>

#include "media/Wave.h"

namespace tk::sim {

class AudioCapture {
 public:
  AudioCapture(const std::string& path, uint32_t rate) : out_(path, std::ios::binary) {
    if (!out_) throw std::runtime_error("cannot write " + path);
    TWave w;
    w.Format.Channels = 2;
    w.Format.SamplesPerSec = rate;
    w.Format.BitsPerSample = 16;
    w.Format.BlockAlign = 4;
    w.Format.AvgBytesPerSec = rate * 4;
    const std::string header = WriteWave(w);  // sizes are patched when the run ends
    out_.write(header.data(), static_cast<std::streamsize>(header.size()));
    dataSizeAt_ = header.size() - 4;
  }
  ~AudioCapture() {
    // RIFF sizes are 32-bit: a run past about 6.7 hours keeps its first 4 GiB.
    const uint64_t data = std::min<uint64_t>(bytes_, 0xFFFFFFFFull - 36);
    Patch(4, static_cast<uint32_t>(data + 36));
    Patch(dataSizeAt_, static_cast<uint32_t>(data));
  }
  void Add(const int16_t* samples, int frames) {
    if (bytes_ >= 0xFFFFFFFFull - 36) return;
    for (int i = 0; i < 2 * frames; ++i) {
      const auto v = static_cast<uint16_t>(samples[i]);
      const char b[2] = {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
      out_.write(b, 2);
    }
    bytes_ += 4 * static_cast<uint64_t>(frames);
  }

 private:
  void Patch(size_t at, uint32_t v) {
    const char b[4] = {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                       static_cast<char>(v >> 24)};
    out_.seekp(static_cast<std::streamoff>(at));
    out_.write(b, 4);
  }
  std::ofstream out_;
  size_t dataSizeAt_ = 40;
  uint64_t bytes_ = 0;
};

}  // namespace tk::sim
