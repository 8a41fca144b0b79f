// Replaying a recorded game: the check (nothing composed, no sound mixed) against the same
// journal replayed with drawing, side by side. The game is several minutes of the soak
// player's random play through menus, ponds and feeding stages, recorded once.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "Soak.h"
#include "assembly/Assembly.h"
#include "platform/headless/Headless.h"
#include "shell/MainForm.h"
#include "shell/Replay.h"

namespace tk {
namespace {

// Every game of a soak run until one lasts at least this long.
constexpr uint64_t RecordTicks = 12000;  // six minutes of play

const replay::TReplay& Recorded() {
  static const replay::TReplay r = [] {
    std::filesystem::current_path(TK_GAME_DIR);  // the data is only read
    platform::HeadlessPlatform plat;
    TMainFormOptions o;
    o.Seed = 5;
    o.RecordSounds = false;
    auto form = CreateGame(plat.Get(), o);
    form->Hooks.SaveSettings = nullptr;
    replay::TReplay longest;
    form->Recorder->Enabled = true;
    form->Recorder->OnFinished = [&](replay::TReplay&& g) {
      if (g.Entries.size() > longest.Entries.size()) longest = std::move(g);
    };
    StartGame(*form);
    sim::SoakPlayer player(plat, *form, 5);
    player.Play(RecordTicks * 3);
    form->Recorder->Finish();
    return longest;
  }();
  return r;
}

size_t Ticks(const replay::TReplay& r) {
  size_t n = 0;
  for (auto& e : r.Entries) n += e.Type == replay::TEntry::Tick;
  return n;
}

void Replay(benchmark::State& state, bool check) {
  const replay::TReplay& r = Recorded();
  if (r.Entries.empty()) {
    // A figure of nothing replayed would read as infinitely fast.
    state.SkipWithError("no game was recorded: is the game folder built (Data/Graphic.dxg)?");
    return;
  }
  for (auto _ : state) {
    platform::HeadlessPlatform plat;
    plat.RenderAudio = !check;
    TMainFormOptions o;
    o.Seed = 1;
    o.RecordSounds = false;
    auto form = CreateGame(plat.Get(), o);
    form->Replaying = true;
    form->Hooks.SaveSettings = nullptr;
    form->SetComposing(!check);
    StartGame(*form);
    TReplayPlayer player(*form, r);
    player.Setup();
    while (!player.Done()) {
      plat.AdvanceTo(player.NextClock());
      player.Step();
    }
    benchmark::DoNotOptimize(form->Score);
  }
  const double ticks = static_cast<double>(Ticks(r));
  state.counters["ticks"] = ticks;
  state.counters["ticks/s"] = benchmark::Counter(ticks * static_cast<double>(state.iterations()),
                                                benchmark::Counter::kIsRate);
}

void BM_ReplayCheck(benchmark::State& s) { Replay(s, true); }
void BM_ReplayDrawnWithSound(benchmark::State& s) { Replay(s, false); }
BENCHMARK(BM_ReplayCheck)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReplayDrawnWithSound)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tk

BENCHMARK_MAIN();
