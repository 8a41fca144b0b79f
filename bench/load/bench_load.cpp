// Loading the game's graphics archive as the game does at start-up (read, decode, upload
// onto a display that is up) against its floor: a plain read of the file plus one decode
// of each picture. "Cold" drops the file from the page cache before each run
// (posix_fadvise, which needs no privileges), so the read comes from the disk; "Warm"
// reads it from memory. Run from bench/measure.sh, or on its own after a build with
// `build/bench/load/bench_load [archive]`.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "media/DXDraw.h"
#include "media/PictureCollection.h"
#include "platform/Files.h"

namespace tk {
namespace {

std::string gArchive = std::string(TK_GAME_DIR) + "/Data/Graphic.dxg";

void DropFromCache(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return;
  fdatasync(fd);
  posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  close(fd);
}

std::string PlainRead(const std::string& path) {
  std::string out(std::filesystem::file_size(path), '\0');
  const int fd = open(path.c_str(), O_RDONLY);
  size_t got = 0;
  while (got < out.size()) {
    const ssize_t n = read(fd, out.data() + got, out.size() - got);
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  close(fd);
  return out;
}

// The stored pictures of the archive, each as its payload bytes.
const std::vector<std::string>& Payloads() {
  static const std::vector<std::string> payloads = [] {
    TPictureCollection c;
    c.LoadFromBytes(PlainRead(gArchive), /*keepPayloads=*/true);
    std::vector<std::string> v;
    for (int i = 0; i < c.Count(); ++i) {
      const TPicture& p = c.Items(i).Picture;
      if (!p.ClassName.empty()) v.push_back(MakePicturePayload(p.ClassName, p.RawPayload, false));
    }
    return v;
  }();
  return payloads;
}

void Floor(benchmark::State& st, bool cold) {
  const auto& payloads = Payloads();
  for (auto _ : st) {
    if (cold) {
      st.PauseTiming();
      DropFromCache(gArchive);
      st.ResumeTiming();
    }
    const std::string bytes = PlainRead(gArchive);
    benchmark::DoNotOptimize(bytes.data());
    // The decode works from the payloads already cut out; cutting is the loader's share.
    for (const auto& p : payloads) benchmark::DoNotOptimize(DecodePicturePayload(p, false));
  }
}

void Load(benchmark::State& st, bool cold) {
  platform::OffscreenDisplay screen;
  TDXDraw draw(screen);
  draw.Initialize();
  for (auto _ : st) {
    if (cold) {
      st.PauseTiming();
      DropFromCache(gArchive);
      st.ResumeTiming();
    }
    TPictureCollection c;
    c.AttachDisplay(&draw);
    c.LoadArchive(gArchive);
    benchmark::DoNotOptimize(c.Count());
  }
}

void Floor_Cold(benchmark::State& st) { Floor(st, true); }
void Floor_Warm(benchmark::State& st) { Floor(st, false); }
void Load_Cold(benchmark::State& st) { Load(st, true); }
void Load_Warm(benchmark::State& st) { Load(st, false); }
BENCHMARK(Floor_Cold)->Unit(benchmark::kMillisecond);
BENCHMARK(Load_Cold)->Unit(benchmark::kMillisecond);
BENCHMARK(Floor_Warm)->Unit(benchmark::kMillisecond);
BENCHMARK(Load_Warm)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tk

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (argc > 1) tk::gArchive = argv[1];
  if (!std::filesystem::exists(tk::gArchive)) {
    std::fprintf(stderr, "No archive at %s: build the game folder first.\n", tk::gArchive.c_str());
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
