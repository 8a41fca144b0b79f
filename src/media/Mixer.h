// Our own mixer: voices over shared decoded PCM, resampled to the device rate, summed with
// the music in 32 bits and brought to interleaved 16-bit stereo by the master limiter
// (media/Limiter.h), so loud moments bend instead of clipping. The platform's audio output
// pulls from Mix on its own thread; everything else takes the lock.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "media/Limiter.h"
#include "media/Wave.h"

namespace tk {

class TMixer;

// One output buffer of the sound library: a voice that plays one wave.
class TSoundBuffer {
 public:
  TSoundBuffer(TMixer& mixer, TWave wave);
  ~TSoundBuffer();
  TSoundBuffer(const TSoundBuffer&) = delete;
  TSoundBuffer& operator=(const TSoundBuffer&) = delete;
  void Play(bool loop);  // from the current position
  void Stop();
  void SetPosition(uint32_t byteOffset);
  uint32_t Position() const;  // play position in bytes of the wave
  bool Playing() const;
  const TWave& Wave() const;
  // Applied to every start: frequency in Hz (0 = the wave's own rate), pan and volume in
  // hundredths of a decibel (pan -10000 left .. 10000 right, volume -10000 .. 0; 0 leaves
  // the wave unchanged).
  void SetFrequency(uint32_t hz);
  void SetPan(int32_t pan);
  void SetVolume(int32_t volume);
  // Whether the mixer can play the wave's format (PCM, 8 or 16 bits, mono or stereo);
  // a buffer it cannot play stays silent and never reports Playing.
  bool Playable() const;

 private:
  friend class TMixer;
  struct Voice;
  TMixer& mixer_;
  std::shared_ptr<Voice> voice_;
};

class TMixer {
 public:
  explicit TMixer(int deviceRate = 44100);
  ~TMixer();
  int DeviceRate() const { return rate_; }
  void SetDeviceRate(int rate);
  // Fills frameCount stereo frames (2 * frameCount samples).
  void Mix(int16_t* out, int frameCount);
  // Music source: renders stereo 16-bit frames; called under the lock from Mix.
  using MusicSource = std::function<void(int16_t* out, int frameCount)>;
  void SetMusic(MusicSource src);
  std::mutex& Lock() { return mutex_; }
  int ActiveVoices() const;

 private:
  friend class TSoundBuffer;
  int rate_;
  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<TSoundBuffer::Voice>> voices_;
  MusicSource music_;
  std::vector<int32_t> acc_;
  std::vector<int16_t> musicBuf_;
  TLimiter limiter_;
};

}  // namespace tk
