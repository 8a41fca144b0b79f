// Our drawing on software surfaces next to SDL's blitters on the same sizes, plus loading
// a whole graphics archive. Pairs share a name prefix: Keyed/Ours vs Keyed/SdlRle, ...
//   keyed 128 x 128, half transparent    Keyed/Ours, Keyed/Sdl, Keyed/SdlRle
//   keyed stretch 64 x 96 -> 128 x 192   Stretch/Ours, Stretch/SdlBlitScaled
//   rotate 128 x 128 by 45 degrees       Rotate/Ours/32, Rotate/SdlRotozoomBlit
//   our paths per vector level           Levels/Keyed/N, Levels/Rotate45/N
//   800 x 600 fill and copy              Fill/Ours, Copy/Ours, Copy/Memcpy
//   archive                              Archive/Load (decode), Archive/LoadUpload
#include <SDL.h>
#include <SDL2_rotozoom.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "media/DXDraw.h"
#include "media/Draw.h"
#include "media/PictureCollection.h"
#include "platform/Files.h"

using namespace tk;

namespace {

constexpr uint32_t kKey = 0xFF00FF;

// A disc covering about half of a w x h square, on the key colour, with a texture.
TSurface HalfKeyed(int w, int h) {
  TSurface s(w, h, kKey);
  const double r = std::sqrt(0.5 * w * h / M_PI);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const double dx = x + 0.5 - w / 2.0, dy = y + 0.5 - h / 2.0;
      if (dx * dx + dy * dy < r * r) s.At(x, y) = 0x204000u + static_cast<uint32_t>(x * 3 + y);
    }
  return s;
}

using SdlSurface = std::unique_ptr<SDL_Surface, decltype(&SDL_FreeSurface)>;

SdlSurface ToSdl(const TSurface& s) {
  SdlSurface out(
      SDL_CreateRGBSurfaceWithFormat(0, s.Width(), s.Height(), 32, SDL_PIXELFORMAT_RGB888),
      SDL_FreeSurface);
  for (int y = 0; y < s.Height(); ++y)
    std::memcpy(static_cast<uint8_t*>(out->pixels) + y * out->pitch, s.Row(y), s.Width() * 4);
  return out;
}

SdlSurface SdlScreen() {
  return SdlSurface(SDL_CreateRGBSurfaceWithFormat(0, 800, 600, 32, SDL_PIXELFORMAT_RGB888),
                    SDL_FreeSurface);
}

TPatternRef Ref(const TSurface& s, const TPatternRuns* runs) {
  TPatternRef p;
  p.Surface = &s;
  p.Rect = s.ClientRect();
  p.Transparent = true;
  p.KeyPixel = kKey;
  p.Runs = runs;
  return p;
}

void Keyed_Ours(benchmark::State& st) {
  const TSurface src = HalfKeyed(128, 128);
  const TPatternRuns runs = BuildOpaqueRuns(src, src.ClientRect(), kKey);
  TSurface dest(800, 600);
  for (auto _ : st) {
    BlitPattern(dest, 300, 200, Ref(src, &runs));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(Keyed_Ours);

void Keyed_OursNoRuns(benchmark::State& st) {
  const TSurface src = HalfKeyed(128, 128);
  TSurface dest(800, 600);
  for (auto _ : st) {
    BlitPattern(dest, 300, 200, Ref(src, nullptr));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(Keyed_OursNoRuns);

void KeyedSdl(benchmark::State& st, bool rle) {
  SdlSurface src = ToSdl(HalfKeyed(128, 128));
  SDL_SetColorKey(src.get(), SDL_TRUE, kKey);
  if (rle) SDL_SetSurfaceRLE(src.get(), 1);
  SdlSurface dest = SdlScreen();
  SDL_Rect at{300, 200, 128, 128};
  for (auto _ : st) {
    SDL_Rect r = at;
    SDL_BlitSurface(src.get(), nullptr, dest.get(), &r);
    benchmark::ClobberMemory();
  }
}
void Keyed_Sdl(benchmark::State& st) { KeyedSdl(st, false); }
void Keyed_SdlRle(benchmark::State& st) { KeyedSdl(st, true); }
BENCHMARK(Keyed_Sdl);
BENCHMARK(Keyed_SdlRle);

void Stretch_Ours(benchmark::State& st) {
  const TSurface src = HalfKeyed(64, 96);
  TSurface dest(800, 600);
  for (auto _ : st) {
    BlitStretched(dest, {300, 200, 428, 392}, Ref(src, nullptr));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(Stretch_Ours);

void Stretch_SdlBlitScaled(benchmark::State& st) {
  SdlSurface src = ToSdl(HalfKeyed(64, 96));
  SDL_SetColorKey(src.get(), SDL_TRUE, kKey);
  SdlSurface dest = SdlScreen();
  for (auto _ : st) {
    SDL_Rect r{300, 200, 128, 192};
    SDL_BlitScaled(src.get(), nullptr, dest.get(), &r);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(Stretch_SdlBlitScaled);

void Rotate_Ours(benchmark::State& st) {
  const int angle = static_cast<int>(st.range(0));
  const TSurface src = HalfKeyed(128, 128);
  TSurface dest(800, 600);
  for (auto _ : st) {
    BlitRotated(dest, 400, 300, 128, 128, Ref(src, nullptr), 0.5, 0.5, angle);
    benchmark::ClobberMemory();
  }
}
// 32 is the 45 degrees of the comparison; 0 and 3 show what the diagonal walk costs.
BENCHMARK(Rotate_Ours)->Arg(32)->Arg(0)->Arg(3);

// Our keyed blit and 45-degree turn at each vector level (0 plain, 1 SSE2, 2 AVX2), to show
// what the processor's vector paths bring; levels the processor lacks run as its best.
void Levels_Keyed(benchmark::State& st) {
  const TSurface src = HalfKeyed(128, 128);
  const TPatternRuns runs = BuildOpaqueRuns(src, src.ClientRect(), kKey);
  TPatternRef p = Ref(src, &runs);
  p.Vector = static_cast<TDrawVector>(st.range(0));
  TSurface dest(800, 600);
  for (auto _ : st) {
    BlitPattern(dest, 300, 200, p);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(Levels_Keyed)->DenseRange(0, 2);

void Levels_Rotate45(benchmark::State& st) {
  const TSurface src = HalfKeyed(128, 128);
  TPatternRef p = Ref(src, nullptr);
  p.Vector = static_cast<TDrawVector>(st.range(0));
  TSurface dest(800, 600);
  for (auto _ : st) {
    BlitRotated(dest, 400, 300, 128, 128, p, 0.5, 0.5, 32);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(Levels_Rotate45)->DenseRange(0, 2);

void Rotate_SdlRotozoomBlit(benchmark::State& st) {
  SdlSurface src = ToSdl(HalfKeyed(128, 128));
  SDL_SetColorKey(src.get(), SDL_TRUE, kKey);
  SdlSurface dest = SdlScreen();
  for (auto _ : st) {
    SDL_Surface* turned = rotozoomSurface(src.get(), -45, 1.0, SMOOTHING_OFF);
    SDL_Rect r{400 - turned->w / 2, 300 - turned->h / 2, turned->w, turned->h};
    SDL_BlitSurface(turned, nullptr, dest.get(), &r);
    SDL_FreeSurface(turned);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(Rotate_SdlRotozoomBlit);

void Fill_Ours(benchmark::State& st) {
  TSurface dest(800, 600);
  uint32_t c = 0;
  for (auto _ : st) {
    dest.Fill(++c);
    benchmark::ClobberMemory();
  }
  st.SetBytesProcessed(st.iterations() * 800 * 600 * 4);
}
BENCHMARK(Fill_Ours);

void Copy_Ours(benchmark::State& st) {
  TSurface a(800, 600, 1), b(800, 600, 2);
  for (auto _ : st) {
    b.CopyFrom(a);
    benchmark::ClobberMemory();
  }
  st.SetBytesProcessed(st.iterations() * 800 * 600 * 4);
}
BENCHMARK(Copy_Ours);

void Copy_Memcpy(benchmark::State& st) {
  std::vector<uint32_t> a(800 * 600, 1), b(800 * 600, 2);
  for (auto _ : st) {
    std::memcpy(b.data(), a.data(), a.size() * 4);
    benchmark::ClobberMemory();
  }
  st.SetBytesProcessed(st.iterations() * 800 * 600 * 4);
}
BENCHMARK(Copy_Memcpy);

// The game's own archive when it has been built, else ~60 images of the sizes it holds:
// animation strips, sprites, a few JPEG backgrounds.
std::string ArchiveBytes() {
  const std::filesystem::path built = std::filesystem::path(TK_GAME_DIR) / "Data" / "Graphic.dxg";
  if (std::filesystem::exists(built)) return ReadWholeFile(built.string());
  TPictureCollection c;
  auto add = [&](int i, int w, int h, int pw, int ph, bool jpeg) {
    const TSurface s = HalfKeyed(w, h);
    TPicture p;
    p.Width = w;
    p.Height = h;
    p.Pixels.assign(s.Pixels(), s.Pixels() + w * h);
    auto& it = c.Add();
    it.SetName("image" + std::to_string(i));
    it.Picture = DecodePicturePayload(jpeg ? MakePicturePayload("TJPEGImage", EncodeJpeg(p, 92))
                                           : MakePicturePayload("TDIB", EncodeDib24(p)));
    it.PatternWidth = pw;
    it.PatternHeight = ph;
    it.SetTransparentColor(0xFF00FF);
  };
  int i = 0;
  for (int k = 0; k < 3; ++k) add(i++, 800, 600, 0, 0, true);
  for (int k = 0; k < 20; ++k) add(i++, 67 * 5, 104, 67, 104, false);
  for (int k = 0; k < 20; ++k) add(i++, 48 * 8, 48, 48, 48, false);
  for (int k = 0; k < 10; ++k) add(i++, 200, 150, 0, 0, false);
  for (int k = 0; k < 7; ++k) add(i++, 250, 60, 250, 30, false);
  return c.SaveToBytes();
}

void Archive_Load(benchmark::State& st) {
  const std::string bytes = ArchiveBytes();
  for (auto _ : st) {
    TPictureCollection c;
    c.LoadFromBytes(bytes);
    benchmark::DoNotOptimize(c.Count());
  }
  st.SetBytesProcessed(st.iterations() * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(Archive_Load)->Unit(benchmark::kMillisecond);

void Archive_LoadUpload(benchmark::State& st) {
  const std::string bytes = ArchiveBytes();
  platform::OffscreenDisplay screen;
  TDXDraw draw(screen);
  draw.Initialize();
  for (auto _ : st) {
    TPictureCollection c;
    c.AttachDisplay(&draw);
    c.LoadFromBytes(bytes);
    benchmark::DoNotOptimize(c.Count());
  }
}
BENCHMARK(Archive_LoadUpload)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
