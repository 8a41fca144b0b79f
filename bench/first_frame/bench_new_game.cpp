// The first "Новая игра" of a run against a later one, with the game's own data: the time
// from Enter on the main menu to the end of the frame tick that shows the pond, in fresh
// games on the headless platform (no window: the figure is the game's own work). Two ways
// of reaching the menu take turns: as the game's loop does, decoding the pictures not drawn
// yet while it waits for frames, and without that (a player quicker than the idle decoding).
// The second new game of the same run, everything loaded, is the reference.
//
//   bench_new_game [REPS]     (default 9; prints the medians in ms)
//
// Measured (11 games each, load 7-8 on 2 cores): first 15.66 ms, second 0.85 ms with the idle
// decoding; first 15.36 ms, second 0.88 ms without it. With the archives hashed on a worker
// and the pixel buffers not zeroed (load 9.3): first 11.60 ms, second 0.87 ms; 14.80 and 0.87.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "assembly/Assembly.h"
#include "platform/headless/Headless.h"
#include "shell/MainForm.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Enter on the menu and the tick after it; the time both took.
double NewGame(tk::platform::HeadlessPlatform& plat, tk::TMainForm& f) {
  const auto t0 = Clock::now();
  f.OnKeyDown(tk::platform::vk::Enter, {});
  f.OnKeyUp(tk::platform::vk::Enter, {});
  tk::platform::RunFor(plat, f, tk::FramePeriodMs);
  const auto t1 = Clock::now();
  if (f.CurrentScene != tk::ScenePond) {
    std::fprintf(stderr, "bench_new_game: Enter on the menu started no game\n");
    std::exit(1);
  }
  return Ms(t1 - t0);
}

struct Run {
  double First, Second;
};

Run OneGame(bool idleDecoding) {
  tk::platform::HeadlessPlatform plat;
  tk::TMainFormOptions o;
  o.Seed = 5;
  auto form = tk::CreateGame(plat.Get(), o);
  tk::TMainForm& f = *form;
  f.FormCreate();
  f.Show();
  tk::platform::RunFor(plat, f, 4500);  // the logo, then the menu
  if (f.CurrentScene != tk::SceneMainMenu) {
    std::fprintf(stderr, "bench_new_game: the main menu did not come\n");
    std::exit(1);
  }
  if (idleDecoding)
    while (f.Images().DecodeNextPending()) {
    }
  Run r{};
  r.First = NewGame(plat, f);
  f.SwitchScene(tk::SceneMainMenu);
  tk::platform::RunFor(plat, f, 1000);
  r.Second = NewGame(plat, f);
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  const int reps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
  // A copy of the game folder: a game writes its settings and replays where it runs.
  const fs::path dir = fs::temp_directory_path() / ("tk_new_game_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::copy(TK_GAME_DIR, dir, fs::copy_options::recursive);
  fs::remove(dir / "Config.cfg");
  fs::current_path(dir);
  std::vector<double> idleFirst, idleSecond, quickFirst, quickSecond;
  for (int i = 0; i < reps; ++i) {
    const Run a = OneGame(true), b = OneGame(false);
    idleFirst.push_back(a.First);
    idleSecond.push_back(a.Second);
    quickFirst.push_back(b.First);
    quickSecond.push_back(b.Second);
  }
  fs::current_path(fs::temp_directory_path());
  fs::remove_all(dir);
  std::printf("new game, %d fresh games each, median ms from Enter to the pond's first tick:\n",
              reps);
  std::printf("  menu reached as the game's loop does (idle decoding): first %.2f, second %.2f\n",
              Median(idleFirst), Median(idleSecond));
  std::printf("  Enter before any idle decoding:                       first %.2f, second %.2f\n",
              Median(quickFirst), Median(quickSecond));
  return 0;
}
