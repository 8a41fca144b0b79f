#include "media/Mixer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tk {

namespace {

constexpr int32_t kUnity = 4096;  // gains are 4.12 fixed point: headroom for 16-bit samples

int32_t DecibelGain(int32_t hundredths) {
  if (hundredths >= 0) return kUnity;
  if (hundredths <= -10000) return 0;
  return static_cast<int32_t>(std::lround(kUnity * std::pow(10.0, hundredths / 2000.0)));
}

}  // namespace

// The state of one voice; TSoundBuffer::Voice is this under the header's name.
struct VoiceState {
  TWave wave;
  const unsigned char* bytes = nullptr;
  uint32_t frames = 0;
  uint32_t frameBytes = 0;
  int channels = 0;
  int bits = 0;
  bool playable = false;
  // Everything below is shared with the audio thread and guarded by the mixer's lock.
  uint64_t pos = 0;  // frames in 32.32 fixed point
  bool playing = false;
  bool loop = false;
  uint32_t frequency = 0;
  int32_t pan = 0, volume = 0;
  int32_t gainL = kUnity, gainR = kUnity;

  void UpdateGains() {
    const int32_t v = DecibelGain(volume);
    // A pan towards one side attenuates the other.
    gainL = pan > 0 ? v * DecibelGain(-pan) / kUnity : v;
    gainR = pan < 0 ? v * DecibelGain(pan) / kUnity : v;
  }
};

struct TSoundBuffer::Voice : VoiceState {};

namespace {

template <int Bits, int Channels>
inline void Fetch(const unsigned char* d, uint32_t frame, int32_t& l, int32_t& r) {
  if constexpr (Bits == 8) {
    const unsigned char* p = d + static_cast<size_t>(frame) * Channels;
    l = (static_cast<int32_t>(p[0]) - 128) << 8;
    r = Channels == 2 ? (static_cast<int32_t>(p[1]) - 128) << 8 : l;
  } else {
    const unsigned char* p = d + static_cast<size_t>(frame) * Channels * 2;
    l = static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
    r = Channels == 2 ? static_cast<int16_t>(static_cast<uint16_t>(p[2] | (p[3] << 8))) : l;
  }
}

// Adds one voice into the accumulator, resampling by linear interpolation.
template <int Bits, int Channels>
void MixVoice(VoiceState& v, int32_t* acc, int frameCount, uint64_t step) {
  const uint64_t end = static_cast<uint64_t>(v.frames) << 32;
  uint64_t pos = v.pos;
  const int32_t gl = v.gainL, gr = v.gainR;
  for (int i = 0; i < frameCount; ++i) {
    if (pos >= end) {
      if (!v.loop) {
        // Finished: the next start begins at the top unless a position is set.
        v.playing = false;
        pos = 0;
        break;
      }
      pos %= end;
    }
    const uint32_t f = static_cast<uint32_t>(pos >> 32);
    const int32_t frac = static_cast<int32_t>((pos >> 16) & 0xFFFF);
    uint32_t next = f + 1;
    if (next >= v.frames) next = v.loop ? 0 : f;
    int32_t l0, r0, l1, r1;
    Fetch<Bits, Channels>(v.bytes, f, l0, r0);
    Fetch<Bits, Channels>(v.bytes, next, l1, r1);
    const int32_t l = l0 + static_cast<int32_t>((static_cast<int64_t>(l1 - l0) * frac) >> 16);
    const int32_t r = r0 + static_cast<int32_t>((static_cast<int64_t>(r1 - r0) * frac) >> 16);
    acc[2 * i] += (l * gl) >> 12;
    acc[2 * i + 1] += (r * gr) >> 12;
    pos += step;
  }
  v.pos = v.loop && pos >= end ? pos % end : pos;
}

}  // namespace

TSoundBuffer::TSoundBuffer(TMixer& mixer, TWave wave) : mixer_(mixer) {
  auto v = std::make_shared<Voice>();
  v->wave = std::move(wave);
  if (!v->wave.Data) v->wave.Data = std::make_shared<const std::string>();
  const TWaveFormat& f = v->wave.Format;
  v->channels = f.Channels;
  v->bits = f.BitsPerSample;
  v->frameBytes = static_cast<uint32_t>(f.Channels) * (f.BitsPerSample / 8);
  v->bytes = reinterpret_cast<const unsigned char*>(v->wave.Data->data());
  v->playable = f.FormatTag == 1 && (f.Channels == 1 || f.Channels == 2) &&
                (f.BitsPerSample == 8 || f.BitsPerSample == 16) && f.SamplesPerSec > 0;
  if (v->playable) {
    // A trailing partial frame is not played.
    v->frames = static_cast<uint32_t>(v->wave.Data->size() / v->frameBytes);
    v->playable = v->frames > 0;
  }
  voice_ = v;
  std::lock_guard lock(mixer_.mutex_);
  mixer_.voices_.push_back(std::move(v));
}

TSoundBuffer::~TSoundBuffer() {
  std::lock_guard lock(mixer_.mutex_);
  auto& vs = mixer_.voices_;
  vs.erase(std::remove(vs.begin(), vs.end(), voice_), vs.end());
}

void TSoundBuffer::Play(bool loop) {
  std::lock_guard lock(mixer_.mutex_);
  if (!voice_->playable) return;
  voice_->loop = loop;
  voice_->playing = true;
}

void TSoundBuffer::Stop() {
  std::lock_guard lock(mixer_.mutex_);
  voice_->playing = false;
}

void TSoundBuffer::SetPosition(uint32_t byteOffset) {
  std::lock_guard lock(mixer_.mutex_);
  const uint32_t frame = voice_->frameBytes ? byteOffset / voice_->frameBytes : 0;
  voice_->pos = static_cast<uint64_t>(frame) << 32;
}

uint32_t TSoundBuffer::Position() const {
  std::lock_guard lock(mixer_.mutex_);
  return static_cast<uint32_t>(voice_->pos >> 32) * voice_->frameBytes;
}

bool TSoundBuffer::Playing() const {
  std::lock_guard lock(mixer_.mutex_);
  return voice_->playing;
}

const TWave& TSoundBuffer::Wave() const { return voice_->wave; }

void TSoundBuffer::SetFrequency(uint32_t hz) {
  std::lock_guard lock(mixer_.mutex_);
  voice_->frequency = hz;
}

void TSoundBuffer::SetPan(int32_t pan) {
  std::lock_guard lock(mixer_.mutex_);
  voice_->pan = std::clamp(pan, -10000, 10000);
  voice_->UpdateGains();
}

void TSoundBuffer::SetVolume(int32_t volume) {
  std::lock_guard lock(mixer_.mutex_);
  voice_->volume = std::clamp(volume, -10000, 0);
  voice_->UpdateGains();
}

bool TSoundBuffer::Playable() const { return voice_->playable; }

TMixer::TMixer(int deviceRate) : rate_(deviceRate > 0 ? deviceRate : 44100), limiter_(rate_) {
  voices_.reserve(64);
}

TMixer::~TMixer() = default;

void TMixer::SetDeviceRate(int rate) {
  std::lock_guard lock(mutex_);
  if (rate > 0) rate_ = rate;
  limiter_.SetRate(rate_);
}

void TMixer::SetMusic(MusicSource src) {
  std::lock_guard lock(mutex_);
  music_ = std::move(src);
}

int TMixer::ActiveVoices() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(std::count_if(voices_.begin(), voices_.end(),
                                        [](const auto& v) { return v->playing; }));
}

void TMixer::Mix(int16_t* out, int frameCount) {
  if (frameCount <= 0) return;
  const size_t samples = 2 * static_cast<size_t>(frameCount);
  std::lock_guard lock(mutex_);
  // Buffers only grow, so a device that pulls the same block size never allocates here.
  if (acc_.size() < samples) acc_.resize(samples);
  std::fill_n(acc_.begin(), samples, 0);
  int32_t* acc = acc_.data();
  for (const auto& vp : voices_) {
    VoiceState& v = *vp;
    if (!v.playing) continue;
    const uint32_t srcRate = v.frequency ? v.frequency : v.wave.Format.SamplesPerSec;
    const uint64_t step = (static_cast<uint64_t>(srcRate) << 32) / static_cast<uint64_t>(rate_);
    if (v.bits == 8) {
      if (v.channels == 1) MixVoice<8, 1>(v, acc, frameCount, step);
      else MixVoice<8, 2>(v, acc, frameCount, step);
    } else {
      if (v.channels == 1) MixVoice<16, 1>(v, acc, frameCount, step);
      else MixVoice<16, 2>(v, acc, frameCount, step);
    }
  }
  if (music_) {
    if (musicBuf_.size() < samples) musicBuf_.resize(samples);
    std::fill_n(musicBuf_.begin(), samples, 0);
    music_(musicBuf_.data(), frameCount);
    for (size_t i = 0; i < samples; ++i) acc[i] += musicBuf_[i];
  }
  limiter_.Process(acc, out, frameCount);
}

}  // namespace tk
