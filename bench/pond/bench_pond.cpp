// One pond tick at its busiest, with the game's own pictures: every cell of the grid
// filled and row 0 doubled (as after the second scroll), crocodile eyes, strands piled up
// on a sticky lily, ripples, four logs, the HUD and the status line.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "game/FeedingState.h"
#include "game/Frog.h"
#include "game/Grid.h"
#include "game/Hud.h"
#include "game/Lily.h"
#include "game/Pond.h"
#include "game/PondScenery.h"
#include "game/PondState.h"
#include "game/Water.h"
#include "platform/headless/Headless.h"
#include "shell/MainForm.h"

namespace tk {
namespace {

struct BusyPond {
  platform::HeadlessPlatform plat;
  std::unique_ptr<TMainForm> form;
  game::TPondState* pond = nullptr;
  game::TFeedingState* feeding = nullptr;

  BusyPond() {
    std::filesystem::current_path(TK_GAME_DIR);  // read only: nothing here writes files
    TMainFormOptions o;
    o.Seed = 11;
    form = std::make_unique<TMainForm>(plat.Get(), o);
    pond = &form->AddModule<game::TPondState>();
    feeding = &form->AddModule<game::TFeedingState>();
    game::RegisterPond(*form, *pond, *feeding);
    form->FormCreate();
    form->Show();
    form->Level = 3;
    form->Lives = 3;
    form->SwitchScene(ScenePond);
    TMainForm& f = *form;
    game::TPondState& p = *pond;
    // Every cell gets a lily (level 3 keeps the stone above the screen); the frog sits on a
    // spring lily, which leaves it be, and every kind shows somewhere.
    const uint8_t rows[6][4] = {{0, 4, 0, 3}, {0, 1, 4, 0}, {3, 0, 0, 1},
                                {0, 2, 4, 0}, {1, 0, 3, 0}, {0, 2, 0, 0}};
    for (int r = 0; r < 6; ++r)
      for (int c = 0; c < 4; ++c) p.Lily(r - 1, c + 1) = {rows[r][c], uint8_t(c == 0 ? 2 : 0)};
    auto& e = f.Engine();
    e.Clear();
    e.Add<game::TSample>(p);
    for (int i = 0; i < 4; ++i) e.Add<game::TBrevno>(p, 100 + 130 * i, 60 + 140 * i);
    e.Add<game::TStone>(p, -465);
    e.Add<game::TScrollBackground>(p);
    p.FirstLilyBuild = true;
    game::CreateLilySprites(f, p);
    game::CreateLilySprites(f, p);  // rows 0 and -1 again: row 0 doubled
    e.Add<game::TPlayerSprite>(p);
    p.FrogColumn = 1;
    for (int i = 0; i < 40; ++i) e.Add<game::TLiapu>(p, 405.0, 195.0);
    for (int size = 1; size <= 3; ++size)
      for (int column = 1; column <= 4; column += 3) {
        auto* ripple = e.Add<game::TRazvod>(p, size, column);
        ripple->FramePos = size;
        ripple->FrameSpeed = 0;  // holds its frame, so the scene stays this busy
      }
    game::CreateHud(f, p);
    f.Timer1.SetEnabled(false);
    f.LevelTitleShown = false;
  }
};

void BM_PondTickAtItsBusiest(benchmark::State& state) {
  BusyPond pond;
  TMainForm& f = *pond.form;
  game::PondTick(f, *pond.pond, *pond.feeding);
  const int sprites = f.Engine().ChildCount();
  for (auto _ : state) {
    game::PondTick(f, *pond.pond, *pond.feeding);
    benchmark::ClobberMemory();
  }
  state.counters["sprites"] = sprites;
  if (f.CurrentScene != ScenePond || pond.pond->LifeLost)
    state.SkipWithError("the pond did not stay put");
}
BENCHMARK(BM_PondTickAtItsBusiest)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

// The same tick without drawing: the game logic alone (moves, collisions, the scroll rules).
void BM_PondMoveOnly(benchmark::State& state) {
  BusyPond pond;
  TMainForm& f = *pond.form;
  for (auto _ : state) {
    f.SpriteEngine.Move(MoveUnits);
    f.SpriteEngine.FreeDead();
  }
}
BENCHMARK(BM_PondMoveOnly)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace
}  // namespace tk

BENCHMARK_MAIN();
