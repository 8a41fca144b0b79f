// One frame of a busy scene (Move(16), FreeDead, fill, Draw) with 80 image sprites of
// typical sizes, 3 of them turned, over a wrapped background; and one collision query.
#include <benchmark/benchmark.h>

#include "media/DXDraw.h"
#include "media/PictureCollection.h"
#include "platform/headless/Headless.h"
#include "sprites/Sprites.h"

namespace tk {
namespace {

// A turned sprite, drawn the way the pond frog and the tongue are.
struct Turned : TImageSprite {
  using TImageSprite::TImageSprite;
  void Render() override {
    Image->DrawPatternRotated(*Engine()->Surface(), static_cast<int>(X), static_cast<int>(Y),
                              Width, Height, PatternIndex(), 0.5, 0.5, 40);
  }
};

// A sprite that drifts and animates like the lilies and insects do.
struct Drifter : TImageSprite {
  using TImageSprite::TImageSprite;
  void Advance(int32_t m) override {
    TImageSprite::Advance(m);
    X += 1;
    if (X > 800) X = -Width;
  }
};

struct Scene {
  platform::HeadlessPlatform plat;
  TDXDraw draw{*plat.Get().Display};
  TDXImageList images;
  TSpriteEngine engine;
  TImageSprite* probe = nullptr;

  TPictureCollectionItem& Picture(const char* name, int w, int h, int frames) {
    auto& it = images.Items.Add();
    it.SetName(name);
    it.Picture.ClassName = "TDIB";
    it.Picture.Width = w * frames;
    it.Picture.Height = h;
    it.Picture.Pixels.resize(static_cast<size_t>(w) * frames * h);
    // Half the cell opaque in an ellipse, as drawn sprites are.
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w * frames; ++x) {
        const double dx = (x % w - w / 2.0) / (w / 2.0), dy = (y - h / 2.0) / (h / 2.0);
        it.Picture.Pixels[static_cast<size_t>(y) * w * frames + x] =
            dx * dx + dy * dy < 0.9 ? 0x2E8B57u + (x & 7) : 0u;
      }
    it.PatternWidth = w;
    it.PatternHeight = h;
    return it;
  }

  Scene() {
    images.SetDXDraw(&draw);
    auto& water = Picture("water", 200, 200, 1);
    auto& lily = Picture("lily", 130, 80, 7);
    auto& fly = Picture("fly", 40, 32, 3);
    auto& frog = Picture("frog", 67, 104, 5);
    draw.Initialize();
    engine.SetSurface(&draw.Surface());
    auto* bg = engine.Add<TBackgroundSprite>();
    bg->Image = &water;
    bg->ResizeMap(1, 1);
    bg->Wrap = true;
    for (int i = 0; i < 77; ++i) {
      TPictureCollectionItem& img = i % 3 == 0 ? fly : lily;
      auto* s = engine.Add<Drifter>();
      s->Image = &img;
      s->Width = img.CellWidth();
      s->Height = img.CellHeight();
      s->X = (i * 97) % 800;
      s->Y = (i * 53) % 600;
      s->FrameCount = img.CountPatterns();
      s->FrameLoop = true;
      s->FrameSpeed = 0.01;
      s->PixelHit = true;
      s->SetZ(i % 5);
      if (!probe) probe = s;
    }
    for (int i = 0; i < 3; ++i) {
      auto* t = engine.Add<Turned>();
      t->Image = &frog;
      t->Width = frog.CellWidth();
      t->Height = frog.CellHeight();
      t->X = 200 + 150 * i;
      t->Y = 420;
      t->SetZ(5);
    }
  }
};

void BM_Frame(benchmark::State& st) {
  Scene s;
  for (auto _ : st) {
    s.engine.Move(16);
    s.engine.FreeDead();
    s.draw.Surface().Fill(0);
    s.engine.Draw();
    benchmark::DoNotOptimize(s.draw.Surface().Pixels());
  }
}
BENCHMARK(BM_Frame)->Unit(benchmark::kMicrosecond);

void BM_CollideQuery(benchmark::State& st) {
  Scene s;
  for (auto _ : st) benchmark::DoNotOptimize(s.probe->Collide());
}
BENCHMARK(BM_CollideQuery)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tk

BENCHMARK_MAIN();
