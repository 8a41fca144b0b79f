// One feeding tick at its busiest, with the game's own pictures: twenty insects of every
// kind hanging in the air, the tongue held out at full length, the stork's legs standing
// and its head down on the frog, the HUD and the status line.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "game/Eat.h"
#include "game/Feeding.h"
#include "game/FeedingState.h"
#include "game/Insect.h"
#include "game/PondState.h"
#include "game/Stork.h"
#include "platform/headless/Headless.h"
#include "shell/MainForm.h"

namespace tk {
namespace {

struct BusyStage {
  platform::HeadlessPlatform plat;
  std::unique_ptr<TMainForm> form;
  game::TPondState* pond = nullptr;
  game::TFeedingState* feeding = nullptr;
  game::TAist* head = nullptr;

  BusyStage() {
    std::filesystem::current_path(TK_GAME_DIR);  // read only: nothing here writes files
    TMainFormOptions o;
    o.Seed = 11;
    form = std::make_unique<TMainForm>(plat.Get(), o);
    pond = &form->AddModule<game::TPondState>();
    feeding = &form->AddModule<game::TFeedingState>();
    game::RegisterFeeding(*form, *feeding, *pond);
    form->FormCreate();
    form->Show();
    TMainForm& f = *form;
    f.Level = 5;
    f.Lives = 3;
    f.SwitchScene(SceneFeeding);
    auto& e = f.Engine();
    // Twenty motionless insects over the upper screen, clear of the tongue.
    for (int i = 0; i < 20; ++i) {
      game::TEat* insect = nullptr;
      switch (i % 5) {
        case 0: insect = e.Add<game::TMushka>(*pond); break;
        case 1: insect = e.Add<game::TMuha>(*pond); break;
        case 2: insect = e.Add<game::TKomar>(*pond); break;
        case 3: insect = e.Add<game::TVodomerka>(*pond); break;
        default: insect = e.Add<game::TPchel>(*pond); break;
      }
      insect->Speed = 0;
      insect->X = 40 + (i % 5) * 70 + (i % 5 >= 3 ? 300 : 0);
      insect->Y = insect->BaseLine = 60 + (i / 5) * 80;
    }
    e.Add<game::TNogaAist>(*feeding, 1)->Y = 600 - f.FindImage("aist_leng").CellHeight();
    e.Add<game::TNogaAist>(*feeding, 2)->Y = 600 - f.FindImage("aist_leng").CellHeight();
    feeding->StorkLegsDown = true;
    head = e.Add<game::TAist>(*feeding);
    f.FireHeld = true;
    feeding->TimeLeft = 1000;
    f.LevelTimer.SetEnabled(false);
    // No spawning and no stork calls: the scene stays exactly this busy.
    f.Level = 0;
    for (int i = 0; i < 14; ++i) game::FeedingTick(f, *feeding, *pond);
  }
  // The head hangs at its lowest, its beak on the frog, so every tick takes a life.
  void HoldHead() {
    head->X = 400 - head->Width / 2.0;
    head->Y = -30;
    head->Descending = true;
    form->Lives = 1000;
  }
};

void BM_FeedingTickAtItsBusiest(benchmark::State& state) {
  BusyStage stage;
  TMainForm& f = *stage.form;
  const int sprites = f.Engine().ChildCount();
  for (auto _ : state) {
    stage.HoldHead();
    game::FeedingTick(f, *stage.feeding, *stage.pond);
    benchmark::ClobberMemory();
  }
  state.counters["sprites"] = sprites;
  const int now = f.Engine().ChildCount();
  if (f.CurrentScene != SceneFeeding || stage.feeding->TongueLength != 400 || f.Lives >= 1000 ||
      now != sprites)
    state.SkipWithError(("the stage did not stay this busy: lives " + std::to_string(f.Lives) +
                         ", sprites " + std::to_string(now) + " of " + std::to_string(sprites))
                            .c_str());
}
BENCHMARK(BM_FeedingTickAtItsBusiest)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// The same tick without drawing: moves, the insects' and the stork's collision queries.
void BM_FeedingMoveOnly(benchmark::State& state) {
  BusyStage stage;
  TMainForm& f = *stage.form;
  for (auto _ : state) {
    stage.HoldHead();
    f.SpriteEngine.Move(MoveUnits);
    f.SpriteEngine.FreeDead();
  }
}
BENCHMARK(BM_FeedingMoveOnly)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace
}  // namespace tk

BENCHMARK_MAIN();
