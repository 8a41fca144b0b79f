// One second of 44.1 kHz stereo: sixteen sound effects and a module, in the 512-frame
// blocks the audio device asks for. The "core_percent" counter is the share of one core
// the audio thread spends mixing; the goal is under 2.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "media/Mixer.h"
#include "media/Sound.h"
#include "media/XmModule.h"

namespace {

tk::TWave Tone(int channels, int bits, uint32_t rate, uint32_t frames) {
  tk::TWave w;
  w.Format.Channels = static_cast<uint16_t>(channels);
  w.Format.BitsPerSample = static_cast<uint16_t>(bits);
  w.Format.SamplesPerSec = rate;
  w.Format.BlockAlign = static_cast<uint16_t>(channels * bits / 8);
  w.Format.AvgBytesPerSec = rate * w.Format.BlockAlign;
  std::string bytes;
  for (uint32_t i = 0; i < frames * channels; ++i) {
    const int v = (i / 37) % 2 ? 4000 : -4000;
    if (bits == 8) {
      bytes.push_back(static_cast<char>(128 + v / 256));
    } else {
      bytes.push_back(static_cast<char>(v & 0xFF));
      bytes.push_back(static_cast<char>((v >> 8) & 0xFF));
    }
  }
  w.Data = std::make_shared<const std::string>(bytes);
  return w;
}

// The game's pond track when the build has made it, else a module of our own.
std::string ModulePath() {
  const std::filesystem::path built = std::filesystem::path(TK_GAME_DIR) / "Music" / "2.xm";
  if (std::filesystem::exists(built)) return built.string();
  const auto own = std::filesystem::temp_directory_path() / "tk_bench_mixer.xm";
  tk::testing::XmShape shape;
  shape.orders = 4;
  shape.rows = 16;
  shape.channels = 8;
  shape.struck = 8;
  shape.speed = 6;
  std::ofstream(own, std::ios::binary) << tk::testing::BuildXm(shape);
  return own.string();
}

void BM_MixOneSecond(benchmark::State& state) {
  constexpr int kRate = 44100, kBlock = 512;
  tk::TMixer mixer(kRate);
  const bool withMusic = state.range(0) != 0;
  tk::TMusicPlayer player(mixer);
  if (withMusic) {
    const std::string path = ModulePath();
    const uintptr_t song = player.SongLoadFromFile(path);
    if (!song) {
      state.SkipWithError(("cannot load " + path).c_str());
      return;
    }
    player.SongPlay(song);
    state.SetLabel(path);
  }
  std::vector<std::unique_ptr<tk::TSoundBuffer>> voices;
  const tk::TWave waves[] = {Tone(1, 8, 11025, 11025), Tone(1, 16, 22050, 22050),
                             Tone(2, 16, 44100, 44100), Tone(1, 16, 44100, 30000)};
  for (int i = 0; i < 16; ++i) {
    voices.push_back(std::make_unique<tk::TSoundBuffer>(mixer, waves[i % 4]));
    voices.back()->Play(true);
  }
  std::vector<int16_t> out(2 * kBlock);
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    for (int done = 0; done < kRate; done += kBlock) {
      mixer.Mix(out.data(), std::min(kBlock, kRate - done));
      benchmark::DoNotOptimize(out.data());
    }
  }
  // Seconds of work per second of sound, as a percentage of one core.
  const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
  state.counters["core_percent"] = 100.0 * spent.count() / static_cast<double>(state.iterations());
}
BENCHMARK(BM_MixOneSecond)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
