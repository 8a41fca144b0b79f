#include "media/Wave.h"

#include <cstring>

#include "platform/Errors.h"

namespace tk {

namespace {

[[noreturn]] void Invalid() { throw EWaveError("Wave is invalid"); }

uint16_t U16(const char* p) {
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

uint32_t U32(const char* p) {
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
         (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

void Put16(std::string& s, uint16_t v) {
  s.push_back(static_cast<char>(v & 0xFF));
  s.push_back(static_cast<char>(v >> 8));
}

void Put32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

constexpr size_t kFormatRecord = 16;  // the PCM format record without its extension

}  // namespace

TWave ParseWave(std::string_view riff) {
  if (riff.size() < 12 || riff.substr(0, 4) != "RIFF" || riff.substr(8, 4) != "WAVE") Invalid();
  TWave w;
  bool haveFormat = false, haveData = false;
  size_t pos = 12;
  // A few bytes after the last chunk (a writer's pad byte) are no chunk header; ignore them.
  while (riff.size() - pos >= 8) {
    const std::string_view id = riff.substr(pos, 4);
    const uint32_t len = U32(riff.data() + pos + 4);
    pos += 8;
    // Checked before anything is allocated, so a lying length cannot cost memory.
    if (len > riff.size() - pos) Invalid();
    const char* body = riff.data() + pos;
    if (id == "fmt ") {
      if (len < kFormatRecord) Invalid();
      w.Format.FormatTag = U16(body);
      w.Format.Channels = U16(body + 2);
      w.Format.SamplesPerSec = U32(body + 4);
      w.Format.AvgBytesPerSec = U32(body + 8);
      w.Format.BlockAlign = U16(body + 12);
      w.Format.BitsPerSample = U16(body + 14);
      haveFormat = true;
    } else if (id == "data") {
      w.Data = std::make_shared<const std::string>(body, len);
      haveData = true;
    }
    pos += len;  // no pad byte after odd lengths
  }
  if (!haveFormat || !haveData) Invalid();
  return w;
}

std::string WriteWave(const TWave& w) {
  const size_t n = w.Size();
  std::string s;
  s.reserve(44 + n);
  s += "RIFF";
  Put32(s, static_cast<uint32_t>(4 + 8 + kFormatRecord + 8 + n));
  s += "WAVE";
  s += "fmt ";
  Put32(s, kFormatRecord);
  Put16(s, w.Format.FormatTag);
  Put16(s, w.Format.Channels);
  Put32(s, w.Format.SamplesPerSec);
  Put32(s, w.Format.AvgBytesPerSec);
  Put16(s, w.Format.BlockAlign);
  Put16(s, w.Format.BitsPerSample);
  s += "data";
  Put32(s, static_cast<uint32_t>(n));
  if (n) s.append(*w.Data);
  return s;
}

}  // namespace tk
