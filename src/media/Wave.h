// A RIFF WAVE file held in memory: its format record and its sample bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tk {

struct TWaveFormat {
  uint16_t FormatTag = 1;  // 1 = PCM
  uint16_t Channels = 1;
  uint32_t SamplesPerSec = 22050;
  uint32_t AvgBytesPerSec = 44100;
  uint16_t BlockAlign = 2;
  uint16_t BitsPerSample = 16;
};

struct TWave {
  TWaveFormat Format;
  // Shared by every buffer that plays this wave.
  std::shared_ptr<const std::string> Data = std::make_shared<const std::string>();
  size_t Size() const { return Data ? Data->size() : 0; }
};

// Parses "RIFF" size "WAVE" and then chunks ("fmt ", "data"; others skipped by their
// stated length, no pad byte). Throws EWaveError "Wave is invalid".
TWave ParseWave(std::string_view riff);
std::string WriteWave(const TWave& w);  // a canonical RIFF file

}  // namespace tk
