// The Web Audio output on a test page: our mixer playing a looped 441 Hz sine through it.
// The page (index.html) calls these through Module.
#include <emscripten.h>

#include <cmath>
#include <memory>
#include <string>

#include "media/Mixer.h"
#include "platform/web/WebAudio.h"

namespace {

std::unique_ptr<tk::platform::IAudioOutput> out;
std::unique_ptr<tk::TMixer> mixer;
std::unique_ptr<tk::TSoundBuffer> tone;
double pulled = 0;  // frames, a double for JavaScript
int rate = 0;

}  // namespace

extern "C" {

// Opens the output on a mixer playing the tone; the rate it got, 0 when it did not open.
EMSCRIPTEN_KEEPALIVE int audio_test_open() {
  out.reset();
  tone.reset();
  mixer = std::make_unique<tk::TMixer>(44100);
  tk::TWave w;
  w.Format.FormatTag = 1;
  w.Format.Channels = 1;
  w.Format.SamplesPerSec = 44100;
  w.Format.BitsPerSample = 16;
  w.Format.BlockAlign = 2;
  w.Format.AvgBytesPerSec = 88200;
  std::string pcm;
  for (int i = 0; i < 100; ++i) {  // one period of 441 Hz, a quarter of full scale
    const auto s = static_cast<int16_t>(std::lround(8192 * std::sin(2 * M_PI * i / 100)));
    pcm.push_back(static_cast<char>(s & 0xFF));
    pcm.push_back(static_cast<char>((s >> 8) & 0xFF));
  }
  w.Data = std::make_shared<const std::string>(pcm);
  tone = std::make_unique<tk::TSoundBuffer>(*mixer, w);
  out = tk::platform::MakeWebAudioOutput();
  rate = 44100;
  pulled = 0;
  if (!out->Open([](int16_t* frames, int n) {
        mixer->Mix(frames, n);
        pulled += n;
      }, rate))
    return 0;
  mixer->SetDeviceRate(rate);
  tone->Play(true);
  return rate;
}

EMSCRIPTEN_KEEPALIVE double audio_test_pulled() { return pulled; }
EMSCRIPTEN_KEEPALIVE int audio_test_is_open() { return out && out->IsOpen(); }
EMSCRIPTEN_KEEPALIVE void audio_test_close() {
  if (out) out->Close();
}

}  // extern "C"

int main() {
  EM_ASM({ if (Module.onTestReady) Module.onTestReady(); });
  emscripten_exit_with_live_runtime();
}
